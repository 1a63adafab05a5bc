// SPDX-License-Identifier: GPL-3.0-or-later
// A message box that shows its whole title and its whole text.
#pragma once

#include <QMessageBox>

namespace pictavo {

// Shapes a box whose title and text are set, before it is shown: it is made wide enough for its
// title, and its text's runs without blanks that are wider than it can be are broken into lines.
void fit_message_box(QMessageBox& box);

} // namespace pictavo
