#include "encode.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <stdexcept>

namespace tamsrove::artgen {
namespace {

constexpr uint8_t kOpaqueFrom = 128; // alpha at which a pixel counts as opaque in 8 bits
constexpr std::size_t kPaletteSize = 256;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr int32_t kPixelsPerMetre96dpi = 3780;

// Little-endian writers for the file headers.
void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

uint32_t RowBytes(int32_t width, int bits_per_pixel) {
    return (static_cast<uint32_t>(width) * static_cast<uint32_t>(bits_per_pixel) + 31) / 32 * 4;
}

Rgba8 LaidOverWhite(Rgba8 c) {
    return {artwork::OverWhite(c.r, c.a), artwork::OverWhite(c.g, c.a),
            artwork::OverWhite(c.b, c.a), 255};
}

uint32_t Key(Rgba8 c) {
    return (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b;
}

uint8_t Channel(Rgba8 c, int which) {
    return which == 0 ? c.r : (which == 1 ? c.g : c.b);
}

struct Entry {
    Rgba8 colour;
    uint32_t count = 0;
};

// The distinct colours of the pixels, with how often each occurs, in a fixed order.
std::vector<Entry> Histogram(const std::vector<Rgba8>& colours) {
    std::vector<Rgba8> sorted = colours;
    std::sort(sorted.begin(), sorted.end(), [](Rgba8 a, Rgba8 b) { return Key(a) < Key(b); });
    std::vector<Entry> entries;
    for (const Rgba8 c : sorted) {
        if (!entries.empty() && entries.back().colour == c) {
            ++entries.back().count;
        } else {
            entries.push_back({c, 1});
        }
    }
    return entries;
}

// The channel with the widest spread in a box of colours, and that spread.
std::pair<int, int> WidestChannel(const std::vector<Entry>& box) {
    std::pair<int, int> best{0, -1};
    for (int which = 0; which < 3; ++which) {
        int low = 255;
        int high = 0;
        for (const Entry& e : box) {
            low = std::min<int>(low, Channel(e.colour, which));
            high = std::max<int>(high, Channel(e.colour, which));
        }
        if (high - low > best.second) {
            best = {which, high - low};
        }
    }
    return best;
}

// Median cut: splits the box with the widest spread at its pixel-weighted median until there
// are max_colours boxes or every box holds one colour; each box gives its mean colour.
std::vector<Rgba8> MedianCut(const std::vector<Entry>& entries, std::size_t max_colours) {
    std::vector<std::vector<Entry>> boxes;
    if (!entries.empty()) {
        boxes.push_back(entries);
    }
    while (boxes.size() < max_colours) {
        std::size_t split_box = boxes.size();
        std::pair<int, int> split_channel{0, 0};
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].size() < 2) {
                continue;
            }
            const auto widest = WidestChannel(boxes[i]);
            if (widest.second > split_channel.second) {
                split_box = i;
                split_channel = widest;
            }
        }
        if (split_box == boxes.size()) {
            break;
        }
        std::vector<Entry>& box = boxes[split_box];
        const int which = split_channel.first;
        std::sort(box.begin(), box.end(), [which](const Entry& a, const Entry& b) {
            const auto ca = Channel(a.colour, which);
            const auto cb = Channel(b.colour, which);
            return ca != cb ? ca < cb : Key(a.colour) < Key(b.colour);
        });
        uint64_t total = 0;
        for (const Entry& e : box) {
            total += e.count;
        }
        std::size_t at = 1;
        uint64_t below = box[0].count;
        while (at + 1 < box.size() && below * 2 < total) {
            below += box[at].count;
            ++at;
        }
        std::vector<Entry> upper(box.begin() + static_cast<std::ptrdiff_t>(at), box.end());
        box.resize(at);
        boxes.push_back(std::move(upper));
    }
    std::vector<Rgba8> palette;
    for (const auto& box : boxes) {
        uint64_t n = 0;
        std::array<uint64_t, 3> sum{};
        for (const Entry& e : box) {
            n += e.count;
            sum[0] += uint64_t(e.colour.r) * e.count;
            sum[1] += uint64_t(e.colour.g) * e.count;
            sum[2] += uint64_t(e.colour.b) * e.count;
        }
        palette.push_back({static_cast<uint8_t>((sum[0] + n / 2) / n),
                           static_cast<uint8_t>((sum[1] + n / 2) / n),
                           static_cast<uint8_t>((sum[2] + n / 2) / n), 255});
    }
    return palette;
}

uint8_t Nearest(const std::vector<Rgba8>& palette, std::size_t first, Rgba8 c) {
    std::size_t best = first;
    int best_distance = std::numeric_limits<int>::max();
    for (std::size_t i = first; i < palette.size(); ++i) {
        const int dr = int(palette[i].r) - c.r;
        const int dg = int(palette[i].g) - c.g;
        const int db = int(palette[i].b) - c.b;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    return static_cast<uint8_t>(best);
}

void CheckPicture(const Image& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
        throw std::invalid_argument("empty or inconsistent picture");
    }
}

void PutInfoHeader(std::vector<uint8_t>& out, int32_t width, int32_t height, int bpp,
                   uint32_t image_bytes, uint32_t colours_used, int32_t pixels_per_metre) {
    Put32(out, kInfoHeaderSize);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1); // planes
    Put16(out, static_cast<uint32_t>(bpp));
    Put32(out, 0); // BI_RGB
    Put32(out, image_bytes);
    Put32(out, static_cast<uint32_t>(pixels_per_metre));
    Put32(out, static_cast<uint32_t>(pixels_per_metre));
    Put32(out, colours_used);
    Put32(out, 0); // all colours important
}

// The AND mask of an icon image: one bit per pixel, set where the screen shows through; rows
// from the bottom.
void PutMask(std::vector<uint8_t>& out, int32_t width, int32_t height,
             const std::vector<bool>& transparent) {
    const uint32_t stride = RowBytes(width, 1);
    for (int32_t y = height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int32_t x = 0; x < width; ++x) {
            if (transparent[static_cast<std::size_t>(y) * width + x]) {
                row[static_cast<std::size_t>(x) / 8] |= static_cast<uint8_t>(0x80U >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

std::vector<uint8_t> IconImage8bit(const Image& image) {
    const PaletteImage p = ToPaletteImage(image);
    const uint32_t stride = RowBytes(p.width, 8);
    const uint32_t bytes = stride * p.height + RowBytes(p.width, 1) * p.height;
    std::vector<uint8_t> out;
    PutInfoHeader(out, p.width, p.height * 2, 8, bytes, kPaletteSize, 0);
    for (const Rgba8 c : p.palette) {
        out.insert(out.end(), {c.b, c.g, c.r, 0});
    }
    for (int32_t y = p.height - 1; y >= 0; --y) {
        const auto row = p.indices.begin() + static_cast<std::ptrdiff_t>(y) * p.width;
        out.insert(out.end(), row, row + p.width);
        out.insert(out.end(), stride - static_cast<uint32_t>(p.width), 0);
    }
    PutMask(out, p.width, p.height, p.transparent);
    return out;
}

std::vector<uint8_t> IconImage32bit(const Image& image) {
    const uint32_t bytes =
        RowBytes(image.width, 32) * image.height + RowBytes(image.width, 1) * image.height;
    std::vector<uint8_t> out;
    PutInfoHeader(out, image.width, image.height * 2, 32, bytes, 0, 0);
    std::vector<bool> transparent;
    transparent.reserve(image.pixels.size());
    for (const Rgba8 c : image.pixels) {
        transparent.push_back(c.a == 0);
    }
    for (int32_t y = image.height - 1; y >= 0; --y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const Rgba8 c = image.At(x, y);
            out.insert(out.end(), {c.b, c.g, c.r, c.a});
        }
    }
    PutMask(out, image.width, image.height, transparent);
    return out;
}

} // namespace

PaletteImage ToPaletteImage(const Image& image) {
    CheckPicture(image);
    PaletteImage out;
    out.width = image.width;
    out.height = image.height;
    std::vector<Rgba8> solid;
    out.transparent.reserve(image.pixels.size());
    for (const Rgba8 c : image.pixels) {
        const bool clear = c.a < kOpaqueFrom;
        out.transparent.push_back(clear);
        if (!clear) {
            solid.push_back(LaidOverWhite(c));
        }
    }
    out.palette = {Rgba8{0, 0, 0, 255}};
    const std::vector<Rgba8> colours = MedianCut(Histogram(solid), kPaletteSize - 1);
    out.palette.insert(out.palette.end(), colours.begin(), colours.end());
    out.palette.resize(kPaletteSize, Rgba8{0, 0, 0, 255});
    const std::size_t used = colours.size() + 1;
    const std::vector<Rgba8> candidates(out.palette.begin(),
                                        out.palette.begin() + static_cast<std::ptrdiff_t>(used));
    out.indices.reserve(image.pixels.size());
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        out.indices.push_back(out.transparent[i]
                                  ? uint8_t{0}
                                  : Nearest(candidates, 1, LaidOverWhite(image.pixels[i])));
    }
    return out;
}

std::vector<uint8_t> EncodeBmp24(const Image& image) {
    CheckPicture(image);
    // The rows as a top-down DIB holds them, written here from the bottom up.
    const artwork::PixelBuffer rows = artwork::ToPixelBuffer(image);
    const auto stride = static_cast<uint32_t>(rows.stride);
    const uint32_t pixel_bytes = stride * static_cast<uint32_t>(image.height);
    constexpr uint32_t header_bytes = 14 + kInfoHeaderSize;
    std::vector<uint8_t> out;
    out.reserve(header_bytes + pixel_bytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, header_bytes + pixel_bytes);
    Put32(out, 0); // reserved
    Put32(out, header_bytes);
    PutInfoHeader(out, image.width, image.height, 24, pixel_bytes, 0, kPixelsPerMetre96dpi);
    for (int32_t y = image.height - 1; y >= 0; --y) {
        const auto row = rows.bytes.begin() + static_cast<std::ptrdiff_t>(y) * rows.stride;
        out.insert(out.end(), row, row + rows.stride);
    }
    return out;
}

std::vector<uint8_t> EncodeIco(const std::vector<IconImage>& images) {
    if (images.empty() || images.size() > 0xFFFF) {
        throw std::invalid_argument("an icon file holds 1 to 65535 images");
    }
    std::vector<std::vector<uint8_t>> bodies;
    for (const IconImage& icon : images) {
        CheckPicture(icon.image);
        if (icon.image.width > 256 || icon.image.height > 256) {
            throw std::invalid_argument("icon images are at most 256 pixels wide and high");
        }
        if (icon.bits_per_pixel == 8) {
            bodies.push_back(IconImage8bit(icon.image));
        } else if (icon.bits_per_pixel == 32) {
            bodies.push_back(IconImage32bit(icon.image));
        } else {
            throw std::invalid_argument("icon images are stored at 8 or 32 bits per pixel");
        }
    }
    std::vector<uint8_t> out;
    Put16(out, 0); // reserved
    Put16(out, 1); // icon, not cursor
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Image& image = images[i].image;
        out.push_back(static_cast<uint8_t>(image.width & 0xFF)); // 256 is written as 0
        out.push_back(static_cast<uint8_t>(image.height & 0xFF));
        out.push_back(0); // palette size: 0 means 256 or none
        out.push_back(0); // reserved
        Put16(out, 1);    // planes
        Put16(out, static_cast<uint32_t>(images[i].bits_per_pixel));
        Put32(out, static_cast<uint32_t>(bodies[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(bodies[i].size());
    }
    for (const auto& body : bodies) {
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

} // namespace tamsrove::artgen
