// SPDX-License-Identifier: GPL-3.0-or-later
// The modal table window of the Qt toolkit: a filter box, the table over a TableSource, a line
// of totals, and the save and Close buttons.
#pragma once

#include "toolkit/table_source.h"

class QWidget;

namespace pictavo {

// Shows the window over owner (or on its own for none) and returns when it is closed. The
// window exists for the call only; before it returns, after_shown (when given) runs once the
// window is on screen, for tests and screenshots.
void run_table_window(QWidget* owner, const TableWindowSpec& spec, TableSource& source, const TableActionHandler& act,
                      const std::function<void(QWidget&)>& after_shown = {});

} // namespace pictavo
