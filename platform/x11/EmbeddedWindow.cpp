#include "platform/x11/EmbeddedWindow.h"

#include "platform/Errors.h"
#include "platform/x11/XcbReply.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace {
constexpr int PutImageHeaderBytes = 24;
constexpr int ByteBits = 8;
constexpr std::uint32_t ChannelMax = 255;
constexpr std::uint32_t RedBits = 0xFF0000;
constexpr std::uint32_t GreenBits = 0x00FF00;
constexpr std::uint32_t BlueBits = 0x0000FF;
constexpr std::uint32_t RgbBits = RedBits | GreenBits | BlueBits;

// Scales an 8-bit channel into the bits of Mask.
std::uint32_t Place(std::uint32_t Value, std::uint32_t Mask) {
    if (Mask == 0)
        return 0;
    const int Shift = std::countr_zero(Mask);
    const std::uint32_t Top = Mask >> Shift;
    return ((Value * Top + ChannelMax / 2) / ChannelMax) << Shift;
}

} // namespace

TEmbeddedWindow::TEmbeddedWindow(TX11Display& Display, TX11Window Parent, int Width, int Height)
    : FDisplay(Display),
      FSurfaceWindow(TSurfaceWindow::Create(std::max(Width, 1), std::max(Height, 1))) {
    xcb_connection_t* C = Display.Connection();
    TReply<xcb_get_geometry_reply_t> Geometry(
        xcb_get_geometry_reply(C, xcb_get_geometry(C, Parent), nullptr));
    if (!Geometry)
        throw EYstreloError("the window is gone");
    FDepth = Geometry->depth;
    ChooseFormat(Parent, FDepth);

    FWindow = xcb_generate_id(C);
    // Same depth and visual as the parent (CopyFromParent), so no colormap or border
    // pixel of our own is needed.
    const std::uint32_t Values[] = {Convert(0xFF000000u), XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(C, XCB_COPY_FROM_PARENT, FWindow, Parent, 0, 0,
                      static_cast<std::uint16_t>(std::max(Width, 1)),
                      static_cast<std::uint16_t>(std::max(Height, 1)), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, Values);
    FGc = xcb_generate_id(C);
    xcb_create_gc(C, FGc, FWindow, 0, nullptr);
    Display.SetExposeHandler(FWindow, [this](int X, int Y, int W, int H) {
        FExposed.push_back({X, Y, W, H});
    });
    xcb_map_window(C, FWindow);
    xcb_flush(C);
}

TEmbeddedWindow::~TEmbeddedWindow() {
    FDisplay.RemoveExposeHandler(FWindow);
    if (!FDisplay.Broken()) {
        // Errors here (the parent and with it our window already gone) are dropped.
        xcb_free_gc(FDisplay.Connection(), FGc);
        xcb_destroy_window(FDisplay.Connection(), FWindow);
        xcb_flush(FDisplay.Connection());
    }
}

void TEmbeddedWindow::ChooseFormat(TX11Window Parent, std::uint8_t Depth) {
    xcb_connection_t* C = FDisplay.Connection();
    const xcb_setup_t* Setup = xcb_get_setup(C);
    TReply<xcb_get_window_attributes_reply_t> Attributes(
        xcb_get_window_attributes_reply(C, xcb_get_window_attributes(C, Parent), nullptr));
    if (!Attributes)
        throw EYstreloError("the window is gone");
    const xcb_visualtype_t* Visual = FindVisual(Setup, Attributes->visual);
    if (!Visual || (Visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR &&
                    Visual->_class != XCB_VISUAL_CLASS_DIRECT_COLOR))
        throw EYstreloError("the window's visual is not a true-colour visual");
    for (auto Formats = xcb_setup_pixmap_formats_iterator(Setup); Formats.rem;
         xcb_format_next(&Formats))
        if (Formats.data->depth == Depth) {
            FFormat.BitsPerPixel = Formats.data->bits_per_pixel;
            FFormat.ScanlinePad = Formats.data->scanline_pad;
        }
    if (FFormat.BitsPerPixel != 16 && FFormat.BitsPerPixel != 32)
        throw EYstreloError("the window's pixel format is not supported");
    FFormat.MostSignificantFirst = Setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (std::uint32_t V = 0; V <= ChannelMax; ++V) {
        FFormat.Red[V] = Place(V, Visual->red_mask);
        FFormat.Green[V] = Place(V, Visual->green_mask);
        FFormat.Blue[V] = Place(V, Visual->blue_mask);
    }
    FFormat.NativeRgb = FFormat.BitsPerPixel == 32 &&
                        FFormat.MostSignificantFirst == (std::endian::native == std::endian::big) &&
                        Visual->red_mask == RedBits && Visual->green_mask == GreenBits &&
                        Visual->blue_mask == BlueBits;
    const std::uint32_t DepthMask = Depth >= 32 ? ~0u : (1u << Depth) - 1;
    FFormat.Opaque = DepthMask & ~(Visual->red_mask | Visual->green_mask | Visual->blue_mask);
}

std::uint32_t TEmbeddedWindow::Convert(std::uint32_t Argb) const {
    return FFormat.Red[(Argb >> 16) & 0xFF] | FFormat.Green[(Argb >> 8) & 0xFF] |
           FFormat.Blue[Argb & 0xFF] | FFormat.Opaque;
}

void TEmbeddedWindow::Flush() {
    const std::shared_ptr<TSurface> Surface = FSurfaceWindow->Surface();
    if (Surface->AnyDirty())
        for (const auto& Tile : Surface->TakeDirtyTiles())
            SendRect(*Surface, Tile.Left, Tile.Top, Tile.Width, Tile.Height);
    for (const auto& Rect : FExposed)
        SendRect(*Surface, Rect.Left, Rect.Top, Rect.Width, Rect.Height);
    FExposed.clear();
    xcb_flush(FDisplay.Connection());
}

void TEmbeddedWindow::SendRect(const TSurface& Surface, int Left, int Top, int Width, int Height) {
    Width = std::min(Width, Surface.Width() - Left);
    Height = std::min(Height, Surface.Height() - Top);
    if (Left < 0 || Top < 0 || Width <= 0 || Height <= 0)
        return;
    xcb_connection_t* C = FDisplay.Connection();
    const int BytesPerPixel = FFormat.BitsPerPixel / ByteBits;
    const int PadBytes = std::max(FFormat.ScanlinePad / ByteBits, 1);
    const int Stride = (Width * BytesPerPixel + PadBytes - 1) / PadBytes * PadBytes;
    // A large exposure is sent in bands that fit the server's request size limit.
    const std::int64_t MaxBytes =
        static_cast<std::int64_t>(xcb_get_maximum_request_length(C)) * 4 - PutImageHeaderBytes;
    const int BandRows = static_cast<int>(std::clamp<std::int64_t>(MaxBytes / Stride, 1, Height));
    for (int BandTop = Top; BandTop < Top + Height; BandTop += BandRows) {
        const int Rows = std::min(BandRows, Top + Height - BandTop);
        FBuffer.assign(static_cast<std::size_t>(Stride) * Rows, 0);
        for (int Y = 0; Y < Rows; ++Y) {
            std::uint8_t* Line = FBuffer.data() + static_cast<std::size_t>(Y) * Stride;
            if (FFormat.NativeRgb) {
                // The usual 24-bit visual: the surface's pixels are already the server's.
                for (int X = 0; X < Width; ++X) {
                    const std::uint32_t Pixel =
                        (Surface.Argb(Left + X, BandTop + Y) & RgbBits) | FFormat.Opaque;
                    std::memcpy(Line + X * sizeof Pixel, &Pixel, sizeof Pixel);
                }
                continue;
            }
            for (int X = 0; X < Width; ++X) {
                const std::uint32_t Pixel = Convert(Surface.Argb(Left + X, BandTop + Y));
                for (int B = 0; B < BytesPerPixel; ++B) {
                    const int Shift = FFormat.MostSignificantFirst
                                          ? (BytesPerPixel - 1 - B) * ByteBits
                                          : B * ByteBits;
                    Line[X * BytesPerPixel + B] = static_cast<std::uint8_t>(Pixel >> Shift);
                }
            }
        }
        xcb_put_image(C, XCB_IMAGE_FORMAT_Z_PIXMAP, FWindow, FGc, static_cast<std::uint16_t>(Width),
                      static_cast<std::uint16_t>(Rows), static_cast<std::int16_t>(Left),
                      static_cast<std::int16_t>(BandTop), 0, FDepth,
                      static_cast<std::uint32_t>(FBuffer.size()), FBuffer.data());
    }
}
