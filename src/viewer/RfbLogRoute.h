// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The client library prints its log on the standard streams through two
// process-wide function pointers it owns. Those streams carry the command
// line's results and our own messages, so the log goes to a Qt logging
// category instead (off unless asked for).
// Setting them is idempotent and happens here alone.
void routeRfbLibraryLog();
