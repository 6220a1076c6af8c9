// The working-ring control with real windows: its class, the frame sequence driven tick by
// tick, starting and stopping, its bitmaps, and the pixels the ring shows at the control's DPI
// (the WorkRingDpi suite runs again in a 144-DPI prefix).
#include "controls/WorkRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "controls/ring_artwork.h"
#include "win32_test_support.h"

namespace tamsrove {
namespace {

using namespace std::chrono_literals;

// The control's design size in twips.
constexpr int kDesignWidthTwips = 1065;
constexpr int kDesignHeightTwips = 1035;

// A shown host window with one ring of the control's design size at (10, 10) pixels.
class WorkRingControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WorkRing::RegisterWindowClasses(::GetModuleHandleW(nullptr)));
        host_ = test::MakeHostWindow(320, 320);
        ASSERT_TRUE(host_);
        dpi_ = static_cast<int32_t>(::GetDpiForWindow(host_.get()));
        ring_.emplace();
        ASSERT_TRUE(MakeRing(*ring_, kDesignWidthTwips, kDesignHeightTwips));
        ring_window_ = ring_->Window();
        // Let the new windows paint before the ring starts; after ani_start the tests pump no
        // messages unless they want real timer ticks.
        test::PumpMessages();
    }

    [[nodiscard]] bool MakeRing(WorkRing& ring, int width_twips, int height_twips) const {
        return ring.Create(host_.get(), 7, {10, 10, 10 + Px(width_twips), 10 + Px(height_twips)},
                           ::GetModuleHandleW(nullptr));
    }

    [[nodiscard]] int Px(int twips) const { return test::TwipsToPixels(twips, dpi_); }

    // True while tmr_Animator is set on the control. KillTimer answers whether it was set; it
    // is then set again at once with its own interval, so the ring goes on as before.
    [[nodiscard]] bool TimerSet() const {
        if (::KillTimer(ring_window_, WorkRing::tmr_Animator) == FALSE) {
            return false;
        }
        EXPECT_NE(::SetTimer(ring_window_, WorkRing::tmr_Animator, WorkRing::kAnimatorIntervalMs,
                             nullptr),
                  0U);
        return true;
    }

    // The bitmap the ring box holds now.
    [[nodiscard]] HBITMAP Shown() const { return test::ShownBitmap(ring_window_); }

    // True when the control shows anything but white on screen: a frame in the ring box.
    [[nodiscard]] bool ShowsAFrame() const {
        ShowOnScreen(ring_window_);
        const test::Capture capture = test::CaptureClient(ring_window_);
        return std::any_of(capture.pixels.begin(), capture.pixels.end(),
                           [](uint32_t v) { return v != 0xFFFFFFU; });
    }

    static void ShowOnScreen(HWND ring) {
        ::UpdateWindow(ring);
        ::GdiFlush();
    }

    // Ticks of the animation timer, delivered as the timer would.
    void Tick(int ticks = 1) const { Tick(ring_window_, ticks); }
    static void Tick(HWND ring, int ticks = 1) {
        for (int i = 0; i < ticks; ++i) {
            ::SendMessageW(ring, WM_TIMER, WorkRing::tmr_Animator, 0);
        }
    }

    // Whether the timer runs, whether a frame is on screen, the frame the next tick shows and
    // the bitmap the ring box holds.
    void ExpectState(bool timer, bool on_screen, int32_t frame, HBITMAP shown) const {
        EXPECT_EQ(TimerSet(), timer);
        EXPECT_EQ(ShowsAFrame(), on_screen);
        EXPECT_EQ(ring_->Frame(), frame);
        EXPECT_EQ(Shown(), shown);
    }

    [[nodiscard]] std::array<HBITMAP, 8> FrameHandles() const { return FrameHandles(*ring_); }
    static std::array<HBITMAP, 8> FrameHandles(const WorkRing& ring) {
        std::array<HBITMAP, 8> handles{};
        for (int32_t k = 0; k < 8; ++k) {
            handles[static_cast<size_t>(k)] = ring.FrameBitmap(k);
        }
        return handles;
    }

    unique_hwnd host_;
    std::optional<WorkRing> ring_;
    HWND ring_window_ = nullptr;
    int32_t dpi_ = 96;
};

class WorkRingDpi : public WorkRingControl {
protected:
    // Counts the pixels of the control that differ from frame k drawn at (60, 60) twips on
    // white; the capture covers the whole control, so stray paint anywhere is caught.
    [[nodiscard]] int PixelsOffFrame(HWND ring, int32_t k) const {
        const test::Capture capture = test::CaptureClient(ring);
        EXPECT_GT(capture.width, 0);
        const PixelBuffer frame = DrawRingFrame(k, dpi_);
        const int offset = Px(WorkRing::kRingBoxOffsetTwips);
        int wrong = 0;
        for (int y = 0; y < capture.height; ++y) {
            for (int x = 0; x < capture.width; ++x) {
                COLORREF expected = RGB(255, 255, 255);
                const int fx = x - offset;
                const int fy = y - offset;
                if (fx >= 0 && fy >= 0 && fx < frame.width && fy < frame.height) {
                    const Rgb c = frame.Pixel(fx, fy);
                    expected = RGB(c.r, c.g, c.b);
                }
                if (capture.At(x, y) != expected && ++wrong <= 3) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex
                                  << capture.At(x, y) << ", expected " << expected;
                }
            }
        }
        return wrong;
    }
};

// --- Class and creation ------------------------------------------------------------------------

TEST_F(WorkRingControl, RegistersOnceUnderItsClassName) {
    EXPECT_TRUE(WorkRing::RegisterWindowClasses(::GetModuleHandleW(nullptr)));
    EXPECT_EQ(test::win32::ClassNameOf(ring_window_), L"Tamsrove.WorkRing");
    EXPECT_EQ(::GetParent(ring_window_), host_.get());
    EXPECT_EQ(::GetDlgCtrlID(ring_window_), 7);
}

TEST_F(WorkRingControl, CreatedWithTimerOffAndAnEmptyRingBox) {
    ExpectState(false, false, 0, nullptr);
}

// --- Frame sequence ----------------------------------------------------------------------------

TEST_F(WorkRingControl, TicksShowFramesZeroToSevenThenZero) {
    ring_->ani_start();
    const int32_t expected[] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1};
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("tick " + std::to_string(i + 1));
        Tick();
        // The box holds the stored bitmap itself: nothing was copied or drawn for the tick.
        EXPECT_EQ(Shown(), ring_->FrameBitmap(expected[i]));
        EXPECT_EQ(ring_->Frame(), NextRingFrame(expected[i]));
    }
}

TEST_F(WorkRingControl, TicksKeepUsingTheBitmapsMadeAtCreation) {
    // Regression: frames are made once; a tick must never make, copy or replace a bitmap.
    const auto before = FrameHandles();
    ring_->ani_start();
    Tick(24);
    EXPECT_EQ(FrameHandles(), before);
}

TEST_F(WorkRingControl, TickNeitherErasesNorResizesTheRing) {
    // Regression: a tick is one picture assignment and one blit; erasing the ring to white
    // first would flicker, and resizing or repainting it costs CPU on every tick.
    static HWND watched = nullptr;
    static int repaints = 0;
    static int moves = 0;
    watched = ring_window_;
    repaints = 0;
    moves = 0;
    const HHOOK hook = ::SetWindowsHookExW(
        WH_CALLWNDPROC,
        [](int code, WPARAM wparam, LPARAM lparam) -> LRESULT {
            const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lparam);
            if (code == HC_ACTION && sent->hwnd == watched) {
                repaints += sent->message == WM_ERASEBKGND || sent->message == WM_PAINT ? 1 : 0;
                moves += sent->message == WM_WINDOWPOSCHANGING ? 1 : 0;
            }
            return ::CallNextHookEx(nullptr, code, wparam, lparam);
        },
        nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    ring_->ani_start();
    for (int i = 0; i < 16; ++i) {
        Tick();
        ::UpdateWindow(ring_window_);
    }
    ::UnhookWindowsHookEx(hook);
    EXPECT_EQ(repaints, 0);
    EXPECT_EQ(moves, 0);
}

// --- Starting and stopping ---------------------------------------------------------------------

TEST_F(WorkRingControl, StartEnablesTheTimerAndShowsTheBoxWithoutAFrame) {
    ring_->ani_start();
    // The first frame comes with the first tick, not at once.
    ExpectState(true, false, 0, nullptr);
}

TEST_F(WorkRingControl, StopKeepsTheFrameAndRestartShowsItAtOnce) {
    ring_->ani_start();
    Tick(5);
    ring_->ani_stop();
    ExpectState(false, false, 5, ring_->FrameBitmap(4));

    ring_->ani_start();
    EXPECT_TRUE(ShowsAFrame());
    EXPECT_EQ(Shown(), ring_->FrameBitmap(4));
    Tick();
    EXPECT_EQ(Shown(), ring_->FrameBitmap(5));
}

TEST_F(WorkRingControl, StopBeforeAnyStartHidesTheEmptyBox) {
    ring_->ani_stop();
    ExpectState(false, false, 0, nullptr);
}

TEST_F(WorkRingControl, RepeatedStartOrStopChangesNothingElse) {
    ring_->ani_start();
    Tick(2);
    ring_->ani_start();
    EXPECT_TRUE(TimerSet());
    EXPECT_EQ(ring_->Frame(), 2);
    ring_->ani_stop();
    ring_->ani_stop();
    ExpectState(false, false, 2, ring_->FrameBitmap(1));
}

TEST_F(WorkRingControl, StoppedRingDoesNotTurn) {
    ring_->ani_start();
    Tick(2);
    ring_->ani_stop();
    // A tick already queued when the timer stopped must not move it, nor may time.
    Tick();
    test::PumpFor(250ms);
    EXPECT_EQ(ring_->Frame(), 2);
    EXPECT_EQ(Shown(), ring_->FrameBitmap(1));
}

TEST_F(WorkRingControl, OtherTimerIdsDoNotTurnTheRing) {
    ring_->ani_start();
    ::SendMessageW(ring_window_, WM_TIMER, WorkRing::tmr_Animator + 1, 0);
    EXPECT_EQ(ring_->Frame(), 0);
    EXPECT_EQ(Shown(), nullptr);
}

TEST_F(WorkRingControl, RealTimerTurnsTheRing) {
    ring_->ani_start();
    // 20 ticks a second: three ticks well within two seconds, even on a loaded machine.
    EXPECT_TRUE(test::PumpUntil([&] { return ring_->Frame() >= 3; }, 2000ms));
    EXPECT_NE(Shown(), nullptr);
}

// --- Lifetime and DPI changes ------------------------------------------------------------------

// The container holds the ring's object and may lose the window first (its own window goes)
// or the object first: either way no message reaches a ring object that is gone, a ring
// without a window sets no timer (a null window would make a thread timer), and the object
// takes its bitmaps with it.
TEST_F(WorkRingControl, WindowAndObjectGoInEitherOrderAndTakeTheBitmaps) {
    for (const bool window_first : {true, false}) {
        SCOPED_TRACE(window_first ? "window first" : "object first");
        std::optional<WorkRing> ring(std::in_place);
        ASSERT_TRUE(MakeRing(*ring, kDesignWidthTwips, kDesignHeightTwips));
        const HWND window = ring->Window();
        ring->ani_start();
        Tick(window);
        const auto handles = FrameHandles(*ring);
        if (window_first) {
            ASSERT_NE(::DestroyWindow(window), FALSE);
            EXPECT_EQ(ring->Window(), nullptr);
            ring->ani_start();
            ::Sleep(2 * WorkRing::kAnimatorIntervalMs);
            MSG tick{}; // no other window of this test runs a timer
            EXPECT_EQ(::PeekMessageW(&tick, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE), FALSE);
        }
        ring.reset();
        EXPECT_EQ(::IsWindow(window), FALSE);
        for (const HBITMAP h : handles) {
            EXPECT_EQ(::GetObjectType(h), 0U);
        }
    }
}

TEST_F(WorkRingControl, DpiChangeRemakesTheFramesAndKeepsTheShownOne) {
    ring_->ani_start();
    Tick(3);
    const auto old = FrameHandles();
    ::SendMessageW(ring_window_, WM_DPICHANGED_AFTERPARENT, 0, 0);
    const auto now = FrameHandles();
    for (size_t k = 0; k < 8; ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        EXPECT_NE(now[k], nullptr);
        EXPECT_NE(now[k], old[k]);
        EXPECT_EQ(::GetObjectType(old[k]), 0U); // the old ones are deleted, none leaks
    }
    EXPECT_EQ(Shown(), ring_->FrameBitmap(2));
    EXPECT_EQ(ring_->Frame(), 3);
    EXPECT_EQ(ring_->Dpi(), static_cast<int32_t>(::GetDpiForWindow(ring_window_)));
}

// --- What the control shows, at the prefix's DPI -----------------------------------------------

TEST_F(WorkRingDpi, ControlRunsAtThePromisedDpi) {
    const int32_t promised = test::PromisedTestDpi();
    if (promised != 0) {
        EXPECT_EQ(static_cast<int32_t>(::GetDpiForWindow(ring_window_)), promised);
    }
    EXPECT_EQ(ring_->Dpi(), static_cast<int32_t>(::GetDpiForWindow(ring_window_)));
    EXPECT_EQ(RingFrameSize(ring_->Dpi()), RingFrameSize(dpi_));
}

TEST_F(WorkRingDpi, ControlIsWhiteBeforeTheFirstFrame) {
    ring_->ani_start();
    EXPECT_EQ(test::CaptureClient(ring_window_).width, Px(kDesignWidthTwips));
    EXPECT_FALSE(ShowsAFrame());
}

TEST_F(WorkRingDpi, EachTickShowsItsFramesPixelsAt60Twips) {
    ring_->ani_start();
    for (int32_t k = 0; k < 8; ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        Tick();
        ShowOnScreen(ring_window_);
        EXPECT_EQ(PixelsOffFrame(ring_window_, k), 0);
    }
}

TEST_F(WorkRingDpi, RestartShowsTheLastFrameAgain) {
    ring_->ani_start();
    Tick(5);
    ring_->ani_stop();
    ShowOnScreen(ring_window_);
    ring_->ani_start();
    ShowOnScreen(ring_window_);
    EXPECT_EQ(PixelsOffFrame(ring_window_, 4), 0);
}

TEST_F(WorkRingDpi, ControlSmallerThanItsDesignStillShowsTheRingAt60Twips) {
    // The progress window gives the ring 1065 x 855 twips; the frame still fits inside.
    WorkRing ring;
    ASSERT_TRUE(MakeRing(ring, kDesignWidthTwips, 855));
    const HWND compact = ring.Window();
    test::PumpMessages();
    ring.ani_start();
    Tick(compact, 3);
    ShowOnScreen(compact);
    EXPECT_LE(Px(60) + RingFrameSize(dpi_).height, Px(855));
    EXPECT_EQ(PixelsOffFrame(compact, 2), 0);
}

// Eight distinct 24-bit sections, each holding its frame drawn at the control's DPI: rows run
// from the top, as in the buffer, so the bytes match one for one.
TEST_F(WorkRingDpi, FramesAreEightDistinctBitmapsOfTheArtworkAtTheControlsDpi) {
    const auto handles = FrameHandles();
    for (int32_t k = 0; k < 8; ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        const PixelBuffer expected = DrawRingFrame(k, dpi_);
        DIBSECTION dib{};
        ASSERT_EQ(::GetObjectW(handles[static_cast<size_t>(k)], sizeof(dib), &dib),
                  static_cast<int>(sizeof(dib)));
        EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
        EXPECT_EQ(dib.dsBm.bmWidth, expected.width);
        EXPECT_EQ(dib.dsBm.bmHeight, expected.height);
        ASSERT_NE(dib.dsBm.bmBits, nullptr);
        ASSERT_EQ(dib.dsBm.bmWidthBytes, expected.stride);
        EXPECT_EQ(std::memcmp(dib.dsBm.bmBits, expected.bytes.data(), expected.bytes.size()), 0);
        EXPECT_EQ(std::count(handles.begin(), handles.end(), handles[static_cast<size_t>(k)]), 1);
    }
    EXPECT_EQ(ring_->FrameBitmap(-1), nullptr);
    EXPECT_EQ(ring_->FrameBitmap(8), nullptr);
}

} // namespace
} // namespace tamsrove
