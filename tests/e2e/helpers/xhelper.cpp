// Small X11 chores the end-to-end scripts cannot do with xdotool alone.
//
//   xhelper close WINDOW        ask a top-level window to close, as its title
//                               bar's close button would (WM_DELETE_WINDOW);
//                               xdotool windowclose destroys the window instead
//   xhelper pixel FILE.xwd X Y  print the colour at (X, Y) of an xwd screenshot
//                               as RRGGBB
//   xhelper ink FILE.xwd X Y W H
//                               print how many pixels of the rectangle are dark
//                               (every channel below 0x80): text and rules
//   xhelper cover               map a window over the whole screen, print its id
//                               and keep it until killed: something for the
//                               program's windows to come in front of
//
// WINDOW is a decimal or 0x-prefixed window id, as xdotool prints it.

#include <X11/Xlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

int closeWindow(const char *idText)
{
    char *end = nullptr;
    const unsigned long id = std::strtoul(idText, &end, 0);
    if (!end || *end || id == 0) {
        std::fprintf(stderr, "xhelper: not a window id: %s\n", idText);
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "xhelper: cannot open display %s\n", XDisplayName(nullptr));
        return 1;
    }
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(id);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, Window(id), False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    if (!sent) {
        std::fprintf(stderr, "xhelper: could not send WM_DELETE_WINDOW to %s\n", idText);
        return 1;
    }
    return 0;
}

// The header of an xwd file: 25 big-endian 32-bit fields, then the window
// name, then `ncolors` colour entries of 12 bytes, then the pixels.
enum XwdField {
    HeaderSize, FileVersion, PixmapFormat, PixmapDepth, PixmapWidth, PixmapHeight, XOffset,
    ByteOrder, BitmapUnit, BitmapBitOrder, BitmapPad, BitsPerPixel, BytesPerLine, VisualClass,
    RedMask, GreenMask, BlueMask, BitsPerRgb, ColormapEntries, NColors, FieldCount = 25
};

std::uint32_t bigEndian(const unsigned char *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

unsigned channel(std::uint32_t pixel, std::uint32_t mask)
{
    if (!mask)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    return unsigned(((pixel & mask) >> shift) * 255 / (mask >> shift));
}

// An xwd screenshot held in memory.
struct Screenshot {
    std::uint32_t header[FieldCount];
    std::vector<unsigned char> pixels;

    long width() const { return long(header[PixmapWidth]); }
    long height() const { return long(header[PixmapHeight]); }

    // The colour at (x, y) as 0xRRGGBB.
    std::uint32_t rgb(long x, long y) const
    {
        const long bytes = header[BitsPerPixel] / 8;
        const unsigned char *p = pixels.data() + y * long(header[BytesPerLine]) + x * bytes;
        std::uint32_t pixel = 0;
        if (header[ByteOrder] == MSBFirst)
            for (long i = 0; i < bytes; ++i)
                pixel = pixel << 8 | p[i];
        else
            for (long i = bytes - 1; i >= 0; --i)
                pixel = pixel << 8 | p[i];
        return channel(pixel, header[RedMask]) << 16 | channel(pixel, header[GreenMask]) << 8 |
               channel(pixel, header[BlueMask]);
    }

    bool contains(long x, long y) const { return x >= 0 && y >= 0 && x < width() && y < height(); }
};

bool load(const char *path, Screenshot &shot)
{
    std::ifstream file(path, std::ios::binary);
    unsigned char raw[FieldCount * 4];
    if (!file.read(reinterpret_cast<char *>(raw), sizeof raw)) {
        std::fprintf(stderr, "xhelper: %s: cannot read an xwd header\n", path);
        return false;
    }
    for (int i = 0; i < FieldCount; ++i)
        shot.header[i] = bigEndian(raw + 4 * i);
    const std::uint32_t *h = shot.header;
    if (h[FileVersion] != 7 || h[PixmapFormat] != ZPixmap ||
        (h[BitsPerPixel] != 32 && h[BitsPerPixel] != 24)) {
        std::fprintf(stderr, "xhelper: %s: only 24 and 32 bit ZPixmap xwd files are read\n", path);
        return false;
    }
    shot.pixels.resize(std::size_t(h[BytesPerLine]) * h[PixmapHeight]);
    file.seekg(long(h[HeaderSize]) + long(h[NColors]) * 12);
    if (!file.read(reinterpret_cast<char *>(shot.pixels.data()), long(shot.pixels.size()))) {
        std::fprintf(stderr, "xhelper: %s: the image data is cut short\n", path);
        return false;
    }
    return true;
}

int printPixel(const char *path, long x, long y)
{
    Screenshot shot;
    if (!load(path, shot))
        return 1;
    if (!shot.contains(x, y)) {
        std::fprintf(stderr, "xhelper: (%ld, %ld) lies outside the %ldx%ld image\n", x, y,
                     shot.width(), shot.height());
        return 1;
    }
    std::printf("%06X\n", shot.rgb(x, y));
    return 0;
}

int countInk(const char *path, long x, long y, long w, long h)
{
    Screenshot shot;
    if (!load(path, shot))
        return 1;
    if (w <= 0 || h <= 0 || !shot.contains(x, y) || !shot.contains(x + w - 1, y + h - 1)) {
        std::fprintf(stderr, "xhelper: %ldx%ld at (%ld, %ld) does not fit the %ldx%ld image\n", w,
                     h, x, y, shot.width(), shot.height());
        return 1;
    }
    long dark = 0;
    for (long row = y; row < y + h; ++row)
        for (long column = x; column < x + w; ++column) {
            const std::uint32_t c = shot.rgb(column, row);
            if ((c >> 16 & 0xFF) < 0x80 && (c >> 8 & 0xFF) < 0x80 && (c & 0xFF) < 0x80)
                ++dark;
        }
    std::printf("%ld\n", dark);
    return 0;
}

int cover()
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "xhelper: cannot open display %s\n", XDisplayName(nullptr));
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(
        display, RootWindow(display, screen), 0, 0, unsigned(DisplayWidth(display, screen)),
        unsigned(DisplayHeight(display, screen)), 0, BlackPixel(display, screen),
        WhitePixel(display, screen));
    XStoreName(display, window, "cover");
    XMapRaised(display, window);
    XSync(display, False);
    std::printf("%lu\n", window);
    std::fflush(stdout);
    for (;;) {  // until killed, or the X server goes
        XEvent event;
        XNextEvent(display, &event);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "cover") == 0)
        return cover();
    if (argc == 3 && std::strcmp(argv[1], "close") == 0)
        return closeWindow(argv[2]);
    auto number = [&](int i) { return std::strtol(argv[i], nullptr, 10); };
    if (argc == 5 && std::strcmp(argv[1], "pixel") == 0)
        return printPixel(argv[2], number(3), number(4));
    if (argc == 7 && std::strcmp(argv[1], "ink") == 0)
        return countInk(argv[2], number(3), number(4), number(5), number(6));
    std::fprintf(stderr, "usage: xhelper close WINDOW\n"
                         "       xhelper pixel FILE.xwd X Y\n"
                         "       xhelper ink FILE.xwd X Y WIDTH HEIGHT\n"
                         "       xhelper cover\n");
    return 2;
}
