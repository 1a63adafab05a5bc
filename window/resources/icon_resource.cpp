// SPDX-License-Identifier: GPL-3.0-or-later
// The library that carries the program's icon resource needs one source of its own.
namespace pictavo {
int window_icon_resource_anchor = 0;
} // namespace pictavo
