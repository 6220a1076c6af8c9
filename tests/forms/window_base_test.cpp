// The one window base under the program's windows: registration, the object's HWND from
// WM_NCCREATE to WM_NCDESTROY, and windows that cannot reach an object.
#include "win32/window_base.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "controls/WorkRing.h"
#include "forms/container_box.h"

namespace {

using tamsrove::WindowBase;

constexpr const wchar_t* kProbeClassName = L"Tamsrove.Test.WindowBaseProbe";

HINSTANCE Instance() {
    return ::GetModuleHandleW(nullptr);
}

/// A window owned by its object, with nothing but the base's behaviour.
class Probe : public WindowBase<Probe> {
public:
    [[nodiscard]] HWND Make() {
        return Create(0, kProbeClassName, nullptr, WS_POPUP, RECT{0, 0, 10, 10}, nullptr, nullptr,
                      Instance());
    }

private:
    friend WindowBase;
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
        return ::DefWindowProcW(Window(), message, wparam, lparam);
    }
};

constexpr const wchar_t* kThrowerClassName = L"Tamsrove.Test.WindowBaseThrower";
/// The messages on which Thrower's handler throws, and what it throws.
constexpr UINT kThrowsBadAlloc = WM_USER;
constexpr UINT kThrowsRuntimeError = WM_USER + 1;

/// A window whose handler throws on some messages, as a step that runs out of memory would.
class Thrower : public WindowBase<Thrower> {
public:
    [[nodiscard]] HWND Make() {
        return Create(0, kThrowerClassName, nullptr, WS_POPUP, RECT{0, 0, 10, 10}, nullptr, nullptr,
                      Instance());
    }
    int handled = 0; ///< messages that reached the handler's end

private:
    friend WindowBase;
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == kThrowsBadAlloc || message == WM_CLOSE) {
            throw std::bad_alloc();
        }
        if (message == kThrowsRuntimeError) {
            throw std::runtime_error("a failing step");
        }
        ++handled;
        return ::DefWindowProcW(Window(), message, wparam, lparam);
    }
};

class WindowBaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Probe::RegisterWindowClass(Instance(), {kProbeClassName}));
        ASSERT_TRUE(Thrower::RegisterWindowClass(Instance(), {kThrowerClassName}));
    }
};

// Regression: an exception thrown by a handler left the window procedure through the system's
// frames. The base now answers as for an unhandled message and the window goes on; a throwing
// WM_CLOSE does not destroy the window either.
TEST_F(WindowBaseTest, AHandlerThatThrowsSkipsThatStepAndTheWindowGoesOn) {
    Thrower thrower;
    const HWND window = thrower.Make();
    ASSERT_NE(window, nullptr);
    for (const UINT message : {kThrowsBadAlloc, kThrowsRuntimeError, UINT{WM_CLOSE}}) {
        SCOPED_TRACE(message);
        EXPECT_EQ(::SendMessageW(window, message, 0, 0), 0);
        EXPECT_NE(::IsWindow(window), FALSE);
        const int before = thrower.handled;
        ::SendMessageW(window, WM_NULL, 0, 0);
        EXPECT_EQ(thrower.handled, before + 1);
    }
}

TEST_F(WindowBaseTest, TheObjectHoldsItsWindowUntilWmNcDestroy) {
    Probe probe;
    const HWND window = probe.Make();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(probe.Window(), window);
    ASSERT_NE(::DestroyWindow(window), FALSE);
    EXPECT_EQ(probe.Window(), nullptr);
}

TEST_F(WindowBaseTest, AnObjectThatGoesFirstTakesItsWindowWithIt) {
    HWND window = nullptr;
    {
        Probe probe;
        window = probe.Make();
        ASSERT_NE(window, nullptr);
    }
    EXPECT_EQ(::IsWindow(window), FALSE);
}

TEST_F(WindowBaseTest, RegisteringAgainSucceedsButANameHeldByAnotherProcedureFails) {
    EXPECT_TRUE(Probe::RegisterWindowClass(Instance(), {kProbeClassName}));
    WNDCLASSEXW other{};
    other.cbSize = sizeof(other);
    other.lpfnWndProc = &::DefWindowProcW;
    other.hInstance = Instance();
    other.lpszClassName = L"Tamsrove.Test.TakenClassName";
    ::RegisterClassExW(&other); // an earlier run of this test may have left it registered
    EXPECT_FALSE(Probe::RegisterWindowClass(Instance(), {other.lpszClassName}));
}

// Regression: a window of an object-owned class created by name, without its object, used to
// dereference a null object on WM_NCCREATE; it must be refused instead. Every class is
// object-owned now, the ring's too.
TEST_F(WindowBaseTest, AnObjectOwnedClassCreatedByNameAloneIsRefused) {
    ASSERT_TRUE(tamsrove::ContainerBox::RegisterWindowClasses(Instance()));
    ASSERT_TRUE(tamsrove::WorkRing::RegisterWindowClasses(Instance()));
    for (const wchar_t* name : {kProbeClassName, tamsrove::ContainerBox::kFrameClassName,
                                tamsrove::WorkRing::kClassName}) {
        const HWND window = ::CreateWindowExW(0, name, nullptr, WS_POPUP, 0, 0, 10, 10, nullptr,
                                              nullptr, Instance(), nullptr);
        EXPECT_EQ(window, nullptr);
        if (window != nullptr) {
            ::DestroyWindow(window);
        }
    }
}

} // namespace
