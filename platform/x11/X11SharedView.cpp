#include "platform/x11/X11SharedView.h"

#include "platform/Errors.h"
#include "platform/SharedMemory.h"
#include "platform/qt/QtMessages.h"
#include "platform/x11/XcbReply.h"

#include <algorithm>
#include <bit>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace {
constexpr std::uint8_t RgbDepth = 24;
constexpr std::uint8_t PixelBits = 32;
constexpr std::uint32_t RedBits = 0xFF0000;
constexpr std::uint32_t GreenBits = 0x00FF00;
constexpr std::uint32_t BlueBits = 0x0000FF;

// The surfaces' 0xFFRRGGBB words are the server's own pixels for such a visual (the top
// byte is padding at depth 24).
bool NativeVisual(const xcb_setup_t* Setup, xcb_visualid_t Id) {
    if ((Setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST) !=
        (std::endian::native == std::endian::big))
        return false;
    bool Pad32 = false;
    for (auto Formats = xcb_setup_pixmap_formats_iterator(Setup); Formats.rem;
         xcb_format_next(&Formats))
        if (Formats.data->depth == RgbDepth)
            Pad32 = Formats.data->bits_per_pixel == PixelBits;
    if (!Pad32)
        return false;
    for (auto Screens = xcb_setup_roots_iterator(Setup); Screens.rem; xcb_screen_next(&Screens))
        for (auto Depths = xcb_screen_allowed_depths_iterator(Screens.data); Depths.rem;
             xcb_depth_next(&Depths))
            for (auto Visuals = xcb_depth_visuals_iterator(Depths.data); Visuals.rem;
                 xcb_visualtype_next(&Visuals))
                if (Visuals.data->visual_id == Id)
                    return Depths.data->depth == RgbDepth &&
                           Visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                           Visuals.data->red_mask == RedBits &&
                           Visuals.data->green_mask == GreenBits &&
                           Visuals.data->blue_mask == BlueBits;
    return false;
}
} // namespace

bool TX11SharedView::Possible(xcb_connection_t* Connection) {
    if (!Connection || xcb_connection_has_error(Connection))
        return false;
    const xcb_query_extension_reply_t* Shm = xcb_get_extension_data(Connection, &xcb_shm_id);
    if (!Shm || !Shm->present)
        return false;
    const xcb_setup_t* Setup = xcb_get_setup(Connection);
    const xcb_screen_t* Screen = xcb_setup_roots_iterator(Setup).data;
    return Screen && NativeVisual(Setup, Screen->root_visual);
}

std::unique_ptr<TX11SharedView> TX11SharedView::Create(xcb_connection_t* Connection,
                                                       std::uint32_t Window) {
    if (!Possible(Connection))
        return nullptr;
    TReply<xcb_get_window_attributes_reply_t> Attributes(xcb_get_window_attributes_reply(
        Connection, xcb_get_window_attributes(Connection, Window), nullptr));
    TReply<xcb_get_geometry_reply_t> Geometry(
        xcb_get_geometry_reply(Connection, xcb_get_geometry(Connection, Window), nullptr));
    if (!Attributes || !Geometry || Geometry->depth != RgbDepth ||
        !NativeVisual(xcb_get_setup(Connection), Attributes->visual))
        return nullptr;
    std::unique_ptr<TX11SharedView> View(new TX11SharedView(Connection, Window, Geometry->depth));
    // A server that cannot attach our memory (a remote one) says so on the first surface.
    try {
        View->MakeSurface(1, 1, 0);
    } catch (const std::exception&) {
        return nullptr;
    }
    View->Detach();
    return View;
}

TX11SharedView::TX11SharedView(xcb_connection_t* Connection, std::uint32_t Window,
                               std::uint8_t Depth)
    : FConnection(Connection), FWindow(Window), FDepth(Depth) {
    FGc = xcb_generate_id(FConnection);
    xcb_create_gc(FConnection, FGc, FWindow, 0, nullptr);
}

TX11SharedView::~TX11SharedView() {
    if (xcb_connection_has_error(FConnection))
        return;
    Detach();
    xcb_free_gc(FConnection, FGc);
    xcb_flush(FConnection);
}

void TX11SharedView::Detach() {
    if (FSegment)
        xcb_shm_detach(FConnection, FSegment);
    FSegment = 0;
    FSurface = nullptr;
}

TSurfaceWindow::TFactory TX11SharedView::Factory() {
    return [this](int Width, int Height, TColour Background) {
        return MakeSurface(Width, Height, Background);
    };
}

std::shared_ptr<TSurface> TX11SharedView::MakeSurface(int Width, int Height, TColour Background) {
    // The server must have attached the segment before it may be marked for removal: a
    // round trip. Requests already sent from the old segment come first; detaching it then
    // lets the server drop it, while painters still drawing there keep our mapping.
    auto Memory = std::make_shared<TSharedMemory>(
        std::max<std::size_t>(TSurface::MemorySize(Width, Height), sizeof(TSurface::TPixel)));
    const std::uint32_t Segment = xcb_generate_id(FConnection);
    TReply<xcb_generic_error_t> Error(xcb_request_check(
        FConnection,
        xcb_shm_attach_checked(FConnection, Segment, static_cast<std::uint32_t>(Memory->Id()), 1)));
    Memory->Release();
    // A server gone meanwhile is not a server that cannot read our memory.
    if (xcb_connection_has_error(FConnection))
        EndOnLostDisplay();
    if (Error)
        throw EYstreloError("the X server cannot read our memory");
    Detach();
    FSegment = Segment;
    auto Surface = std::make_shared<TSurface>(
        Width, Height, Background,
        TSurface::TMemory{static_cast<TSurface::TPixel*>(Memory->Address()), Memory});
    FSurface = Surface.get();
    return Surface;
}

void TX11SharedView::Put(const TSurface& Surface, const TSurface::TRect& Rect) {
    if (&Surface != FSurface || !FSegment)
        return;
    const int Left = std::max(Rect.Left, 0), Top = std::max(Rect.Top, 0);
    const int Width = std::min(Rect.Left + Rect.Width, Surface.Width()) - Left;
    const int Height = std::min(Rect.Top + Rect.Height, Surface.Height()) - Top;
    if (Width <= 0 || Height <= 0)
        return;
    xcb_shm_put_image(FConnection, FWindow, FGc, static_cast<std::uint16_t>(Surface.Width()),
                      static_cast<std::uint16_t>(Surface.Height()),
                      static_cast<std::uint16_t>(Left), static_cast<std::uint16_t>(Top),
                      static_cast<std::uint16_t>(Width), static_cast<std::uint16_t>(Height),
                      static_cast<std::int16_t>(Left), static_cast<std::int16_t>(Top), FDepth,
                      XCB_IMAGE_FORMAT_Z_PIXMAP, 0, FSegment, 0);
}

void TX11SharedView::Flush() {
    xcb_flush(FConnection);
}
