// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace ostrel {

class SessionSettings;

// Where View shows a phone's screen: in a window of this program, or in an
// outside viewer found through the viewer chain.
enum class ViewPlace { ThisProgram, AnotherViewer };

// The place the user chose; without a choice, an outside viewer for someone
// who picked one already (their choice stays as it was), else this program.
ViewPlace viewPlaceOf(const SessionSettings& settings);

} // namespace ostrel
