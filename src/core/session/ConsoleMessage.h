// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace ostrel {

// Whether a console message reports a failure: the window shows both kinds
// alike, the command line sends failures to standard error.
enum class MessageKind { Progress, Failure };

} // namespace ostrel
