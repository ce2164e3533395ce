// The rectangle blend painted where msimg32.dll is missing (Windows 95 and
// NT 4.0) against the system's GradientFill, pixel by pixel.
#include <windows.h>
#include <gtest/gtest.h>
#include <cstdlib>
#include <thread>
#include "framework/dc.h"
#include "tests/unit/test_host.h"

namespace {

TRIVERTEX Vertex(LONG x, LONG y, COLORREF c)
{
    return {x, y, static_cast<COLOR16>(GetRValue(c) << 8), static_cast<COLOR16>(GetGValue(c) << 8),
            static_cast<COLOR16>(GetBValue(c) << 8), 0};
}

bool Near(COLORREF a, COLORREF b)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= 1 && std::abs(GetGValue(a) - GetGValue(b)) <= 1 &&
           std::abs(GetBValue(a) - GetBValue(b)) <= 1;
}

TEST(GradientFallback, PaintsWhatTheSystemBlendPaints)
{
    struct Row {
        const char* name;
        TRIVERTEX first, second;
        ULONG mode;
    } rows[] = {
        {"button face, top half", Vertex(0, 0, RGB(0xF0, 0xF0, 0xF0)), Vertex(100, 21, RGB(0xC8, 0xD0, 0xD4)),
         GRADIENT_FILL_RECT_V},
        {"button face, bottom half", Vertex(0, 21, RGB(0xC8, 0xD0, 0xD4)), Vertex(100, 42, RGB(0x80, 0x80, 0x80)),
         GRADIENT_FILL_RECT_V},
        {"full range, tall", Vertex(3, 2, RGB(0, 255, 17)), Vertex(61, 250, RGB(255, 0, 200)), GRADIENT_FILL_RECT_V},
        {"vertices given bottom first", Vertex(50, 40, RGB(10, 20, 30)), Vertex(5, 4, RGB(240, 130, 60)),
         GRADIENT_FILL_RECT_V},
        {"one row", Vertex(0, 7, RGB(200, 100, 0)), Vertex(40, 8, RGB(0, 100, 200)), GRADIENT_FILL_RECT_V},
        {"no rows", Vertex(0, 7, RGB(200, 100, 0)), Vertex(40, 7, RGB(0, 100, 200)), GRADIENT_FILL_RECT_V},
        {"across", Vertex(1, 1, RGB(255, 255, 255)), Vertex(90, 30, RGB(0, 0, 0)), GRADIENT_FILL_RECT_H},
        {"across, right first", Vertex(90, 30, RGB(12, 200, 99)), Vertex(1, 1, RGB(250, 3, 140)),
         GRADIENT_FILL_RECT_H},
    };
    const COLORREF kBack = RGB(0x12, 0x34, 0x56);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TRIVERTEX vertices[2] = {row.first, row.second};
        GRADIENT_RECT mesh = {0, 1};
        Canvas system(100, 260), ours(100, 260);
        system.Fill(kBack);
        ours.Fill(kBack);
        ASSERT_TRUE(::GradientFill(system.dc(), vertices, 2, &mesh, 1, row.mode));
        ASSERT_TRUE(CDC::FillGradientRects(ours.dc(), vertices, 2, &mesh, 1, row.mode));
        int differing = 0;
        for (int y = 0; y < 260; ++y)
            for (int x = 0; x < 100; ++x)
                if (!Near(system.At(x, y), ours.At(x, y)) && differing++ < 3)
                    ADD_FAILURE() << "at " << x << "," << y << ": system " << std::hex << system.At(x, y)
                                  << ", ours " << ours.At(x, y);
        EXPECT_EQ(differing, 0);
        EXPECT_EQ(::GetBkColor(ours.dc()), ::GetBkColor(system.dc())) << "background colour left changed";
    }
}

TEST(GradientFallback, RefusesWhatItCannotPaint)
{
    Canvas canvas(20, 20);
    canvas.Fill(RGB(1, 2, 3));
    TRIVERTEX vertices[2] = {Vertex(0, 0, RGB(255, 0, 0)), Vertex(20, 20, RGB(0, 0, 255))};
    const GRADIENT_RECT outside = {0, 2};
    const GRADIENT_RECT fine = {0, 1};
    EXPECT_FALSE(CDC::FillGradientRects(canvas.dc(), vertices, 2, &outside, 1, GRADIENT_FILL_RECT_V));
    EXPECT_FALSE(CDC::FillGradientRects(canvas.dc(), vertices, 2, &fine, 1, GRADIENT_FILL_TRIANGLE));
    EXPECT_FALSE(CDC::FillGradientRects(canvas.dc(), nullptr, 2, &fine, 1, GRADIENT_FILL_RECT_V));
    EXPECT_EQ(canvas.At(10, 10), RGB(1, 2, 3));
}

// A handler's wrapper stays its own while another thread paints.
TEST(DcWrappers, EachThreadWrapsInItsOwnRing)
{
    Canvas mine(4, 4);
    CDC* wrapper = CDC::FromHandle(mine.dc());
    ASSERT_TRUE(wrapper);
    std::thread painter([] {
        for (int i = 0; i < 20; ++i) {
            Canvas other(2, 2);
            CDC::FromHandle(other.dc());
        }
        CDC::ReleaseThreadWrappers();
    });
    painter.join();
    EXPECT_EQ(wrapper->m_hDC, mine.dc());
    EXPECT_EQ(CDC::FromHandle(mine.dc()), wrapper);
}

} // namespace
