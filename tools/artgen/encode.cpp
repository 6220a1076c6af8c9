#include "encode.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <stdexcept>

namespace tamsrove::artgen {
namespace {

constexpr uint8_t opaque_from = 128; // alpha at which a pixel counts as opaque in 8 bits
constexpr std::size_t palette_size = 256;
constexpr uint32_t info_header_size = 40;
constexpr int32_t pixels_per_metre_96dpi = 3780;

// Little-endian writers for the file headers.
void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

uint32_t row_bytes(int32_t width, int bits_per_pixel) {
    return (static_cast<uint32_t>(width) * static_cast<uint32_t>(bits_per_pixel) + 31) / 32 * 4;
}

uint8_t over_white(uint8_t c, uint8_t a) {
    return static_cast<uint8_t>((unsigned(c) * a + 255U * (255U - a) + 127U) / 255U);
}

Rgba8 laid_over_white(Rgba8 c) {
    return {over_white(c.r, c.a), over_white(c.g, c.a), over_white(c.b, c.a), 255};
}

uint32_t key(Rgba8 c) {
    return (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b;
}

uint8_t channel(Rgba8 c, int which) {
    return which == 0 ? c.r : (which == 1 ? c.g : c.b);
}

struct Entry {
    Rgba8 colour;
    uint32_t count = 0;
};

// The distinct colours of the pixels, with how often each occurs, in a fixed order.
std::vector<Entry> histogram(const std::vector<Rgba8>& colours) {
    std::vector<Rgba8> sorted = colours;
    std::sort(sorted.begin(), sorted.end(), [](Rgba8 a, Rgba8 b) { return key(a) < key(b); });
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
std::pair<int, int> widest_channel(const std::vector<Entry>& box) {
    std::pair<int, int> best{0, -1};
    for (int which = 0; which < 3; ++which) {
        int low = 255;
        int high = 0;
        for (const Entry& e : box) {
            low = std::min<int>(low, channel(e.colour, which));
            high = std::max<int>(high, channel(e.colour, which));
        }
        if (high - low > best.second) {
            best = {which, high - low};
        }
    }
    return best;
}

// Median cut: splits the box with the widest spread at its pixel-weighted median until there
// are max_colours boxes or every box holds one colour; each box gives its mean colour.
std::vector<Rgba8> median_cut(const std::vector<Entry>& entries, std::size_t max_colours) {
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
            const auto widest = widest_channel(boxes[i]);
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
            const auto ca = channel(a.colour, which);
            const auto cb = channel(b.colour, which);
            return ca != cb ? ca < cb : key(a.colour) < key(b.colour);
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

uint8_t nearest(const std::vector<Rgba8>& palette, std::size_t first, Rgba8 c) {
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

void check_picture(const Image& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
        throw std::invalid_argument("empty or inconsistent picture");
    }
}

void put_info_header(std::vector<uint8_t>& out, int32_t width, int32_t height, int bpp,
                     uint32_t image_bytes, uint32_t colours_used, int32_t pixels_per_metre) {
    put32(out, info_header_size);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));
    put16(out, 1); // planes
    put16(out, static_cast<uint32_t>(bpp));
    put32(out, 0); // BI_RGB
    put32(out, image_bytes);
    put32(out, static_cast<uint32_t>(pixels_per_metre));
    put32(out, static_cast<uint32_t>(pixels_per_metre));
    put32(out, colours_used);
    put32(out, 0); // all colours important
}

// The AND mask of an icon image: one bit per pixel, set where the screen shows through; rows
// from the bottom.
void put_mask(std::vector<uint8_t>& out, int32_t width, int32_t height,
              const std::vector<bool>& transparent) {
    const uint32_t stride = row_bytes(width, 1);
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

std::vector<uint8_t> icon_image_8bit(const Image& image) {
    const PaletteImage p = to_palette_image(image);
    const uint32_t stride = row_bytes(p.width, 8);
    const uint32_t bytes = stride * p.height + row_bytes(p.width, 1) * p.height;
    std::vector<uint8_t> out;
    put_info_header(out, p.width, p.height * 2, 8, bytes, palette_size, 0);
    for (const Rgba8 c : p.palette) {
        out.insert(out.end(), {c.b, c.g, c.r, 0});
    }
    for (int32_t y = p.height - 1; y >= 0; --y) {
        const auto row = p.indices.begin() + static_cast<std::ptrdiff_t>(y) * p.width;
        out.insert(out.end(), row, row + p.width);
        out.insert(out.end(), stride - static_cast<uint32_t>(p.width), 0);
    }
    put_mask(out, p.width, p.height, p.transparent);
    return out;
}

std::vector<uint8_t> icon_image_32bit(const Image& image) {
    const uint32_t bytes =
        row_bytes(image.width, 32) * image.height + row_bytes(image.width, 1) * image.height;
    std::vector<uint8_t> out;
    put_info_header(out, image.width, image.height * 2, 32, bytes, 0, 0);
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
    put_mask(out, image.width, image.height, transparent);
    return out;
}

} // namespace

PaletteImage to_palette_image(const Image& image) {
    check_picture(image);
    PaletteImage out;
    out.width = image.width;
    out.height = image.height;
    std::vector<Rgba8> solid;
    out.transparent.reserve(image.pixels.size());
    for (const Rgba8 c : image.pixels) {
        const bool clear = c.a < opaque_from;
        out.transparent.push_back(clear);
        if (!clear) {
            solid.push_back(laid_over_white(c));
        }
    }
    out.palette = {Rgba8{0, 0, 0, 255}};
    const std::vector<Rgba8> colours = median_cut(histogram(solid), palette_size - 1);
    out.palette.insert(out.palette.end(), colours.begin(), colours.end());
    out.palette.resize(palette_size, Rgba8{0, 0, 0, 255});
    const std::size_t used = colours.size() + 1;
    const std::vector<Rgba8> candidates(out.palette.begin(),
                                        out.palette.begin() + static_cast<std::ptrdiff_t>(used));
    out.indices.reserve(image.pixels.size());
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        out.indices.push_back(out.transparent[i]
                                  ? uint8_t{0}
                                  : nearest(candidates, 1, laid_over_white(image.pixels[i])));
    }
    return out;
}

std::vector<uint8_t> encode_bmp24(const Image& image) {
    check_picture(image);
    const uint32_t stride = row_bytes(image.width, 24);
    const uint32_t pixel_bytes = stride * static_cast<uint32_t>(image.height);
    constexpr uint32_t header_bytes = 14 + info_header_size;
    std::vector<uint8_t> out;
    out.reserve(header_bytes + pixel_bytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, header_bytes + pixel_bytes);
    put32(out, 0); // reserved
    put32(out, header_bytes);
    put_info_header(out, image.width, image.height, 24, pixel_bytes, 0, pixels_per_metre_96dpi);
    for (int32_t y = image.height - 1; y >= 0; --y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const Rgba8 c = laid_over_white(image.At(x, y));
            out.insert(out.end(), {c.b, c.g, c.r});
        }
        out.insert(out.end(), stride - static_cast<uint32_t>(image.width) * 3, 0);
    }
    return out;
}

std::vector<uint8_t> encode_ico(const std::vector<IconImage>& images) {
    if (images.empty() || images.size() > 0xFFFF) {
        throw std::invalid_argument("an icon file holds 1 to 65535 images");
    }
    std::vector<std::vector<uint8_t>> bodies;
    for (const IconImage& icon : images) {
        check_picture(icon.image);
        if (icon.image.width > 256 || icon.image.height > 256) {
            throw std::invalid_argument("icon images are at most 256 pixels wide and high");
        }
        if (icon.bits_per_pixel == 8) {
            bodies.push_back(icon_image_8bit(icon.image));
        } else if (icon.bits_per_pixel == 32) {
            bodies.push_back(icon_image_32bit(icon.image));
        } else {
            throw std::invalid_argument("icon images are stored at 8 or 32 bits per pixel");
        }
    }
    std::vector<uint8_t> out;
    put16(out, 0); // reserved
    put16(out, 1); // icon, not cursor
    put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Image& image = images[i].image;
        out.push_back(static_cast<uint8_t>(image.width & 0xFF)); // 256 is written as 0
        out.push_back(static_cast<uint8_t>(image.height & 0xFF));
        out.push_back(0); // palette size: 0 means 256 or none
        out.push_back(0); // reserved
        put16(out, 1);    // planes
        put16(out, static_cast<uint32_t>(images[i].bits_per_pixel));
        put32(out, static_cast<uint32_t>(bodies[i].size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(bodies[i].size());
    }
    for (const auto& body : bodies) {
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

} // namespace tamsrove::artgen
