// The process exit codes an installer reads after the window has gone; Windows' own error
// numbers, so that an installer script can compare them with constants it already knows.
#pragma once

namespace tamsrove {

/// The installer's flag was seen and cleared.
inline constexpr unsigned kExitFinished = 0;
/// The user confirmed "Terminate" (ERROR_CANCELLED).
inline constexpr unsigned kExitTerminated = 1223;
/// The tick cap ended the wait without a flag (ERROR_TIMEOUT).
inline constexpr unsigned kExitTimedOut = 1460;
/// A start that found a window already showing for this user and desktop
/// (ERROR_ALREADY_EXISTS); it showed none.
inline constexpr unsigned kExitAlreadyShowing = 183;

} // namespace tamsrove
