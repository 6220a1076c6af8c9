// One window at a time: the mark a showing window holds for as long as its process lives.
#pragma once

#include "base/win32_handles.h"

namespace tamsrove {

/// Marks this program's window as showing for this user on this desktop. False when another
/// copy already shows one. The handle must stay open for the life of the process; it goes with
/// the process, so a crash leaves no mark behind.
[[nodiscard]] bool MarkWindowShowing(unique_handle& mark);

} // namespace tamsrove
