// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The client library prints its log to standard output through two
// process-wide function pointers it owns. Our standard output belongs to the
// command line's results, so the log is sent to Qt's debug category instead.
// Setting them is idempotent and happens here alone.
void routeRfbLibraryLog();
