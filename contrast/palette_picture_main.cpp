// brawlhue_palette_picture: the pieces of the palettes' pictures.
//   palettes                    the palettes' names, one a line
//   html TITLE < ANSI > HTML    the coloured text as a page, in xterm's colours (the colours the
//                               contrast tables measure), bold shown as the bright colour
//   simulate VISION IN OUT      the PNG picture IN as the vision sees it, pixel by pixel, through
//                               the same simulation the tables use
#include <png.h>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "contrast/colour_science.h"
#include "contrast/terminal_colours.h"
#include "engine/palettes.h"

namespace {

using brawlhue::contrast::kXterm;
using brawlhue::contrast::Look;
using brawlhue::contrast::Rgb;
using brawlhue::contrast::Vision;

std::string Hex(Rgb colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.red, colour.green, colour.blue);
    return text;
}

void AppendEscaped(std::string& html, char c) {
    switch (c) {
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '&':
            html += "&amp;";
            break;
        default:
            html += c;
    }
}

// Each SGR sequence starts a span in the look it gives; the sequences are all the plug-in
// writes, so each one is read from the terminal's default as the plug-in's reset makes it.
std::string Html(std::string_view text, std::string_view title) {
    const Look plain = brawlhue::contrast::PlainLook(kXterm);
    std::string html =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + std::string(title) +
        "</title><style>\nhtml, body { margin: 0; background: " + Hex(plain.background) +
        "; }\npre { margin: 0; padding: 12px 16px; color: " + Hex(plain.foreground) +
        "; font: 15px/20px \"DejaVu Sans Mono\", monospace; }\n</style></head><body><pre>";
    bool open = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\x1b' && at + 1 < text.size() && text[at + 1] == '[') {
            const std::size_t end = text.find('m', at);
            if (end == std::string_view::npos) {
                break;
            }
            const std::string_view sequence = text.substr(at, end + 1 - at);
            const Look look = brawlhue::contrast::LookOf(
                std::u16string(sequence.begin(), sequence.end()), kXterm);
            html += open ? "</span>" : "";
            html += "<span style=\"color: " + Hex(look.foreground) +
                    "; background: " + Hex(look.background) + "\">";
            open = true;
            at = end;
            continue;
        }
        AppendEscaped(html, text[at]);
    }
    html += open ? "</span>" : "";
    html += "</pre></body></html>\n";
    return html;
}

struct PngImage {
    png_image image{};
    std::vector<png_byte> pixels;
};

bool Read(const char* path, PngImage& picture) {
    picture.image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&picture.image, path)) {
        return false;
    }
    picture.image.format = PNG_FORMAT_RGB;
    picture.pixels.resize(PNG_IMAGE_SIZE(picture.image));
    return png_image_finish_read(&picture.image, nullptr, picture.pixels.data(), 0, nullptr) != 0;
}

int Simulate(std::string_view vision_name, const char* in, const char* out) {
    const brawlhue::contrast::VisionName* vision = nullptr;
    for (const auto& known : brawlhue::contrast::kVisions) {
        if (known.name == vision_name) {
            vision = &known;
        }
    }
    if (vision == nullptr) {
        std::cerr << "brawlhue_palette_picture: unknown vision '" << vision_name << "'\n";
        return 2;
    }
    PngImage picture;
    if (!Read(in, picture)) {
        std::cerr << "brawlhue_palette_picture: cannot read " << in << ": " << picture.image.message
                  << "\n";
        return 1;
    }
    for (std::size_t at = 0; at + 2 < picture.pixels.size(); at += 3) {
        const Rgb seen = brawlhue::contrast::Simulate(
            {picture.pixels[at], picture.pixels[at + 1], picture.pixels[at + 2]}, vision->vision);
        picture.pixels[at] = seen.red;
        picture.pixels[at + 1] = seen.green;
        picture.pixels[at + 2] = seen.blue;
    }
    if (!png_image_write_to_file(&picture.image, out, 0, picture.pixels.data(), 0, nullptr)) {
        std::cerr << "brawlhue_palette_picture: cannot write " << out << ": "
                  << picture.image.message << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && arguments[0] == "palettes") {
        for (const brawlhue::Palette& palette : brawlhue::kPalettes) {
            std::cout << std::string(palette.name.begin(), palette.name.end()) << "\n";
        }
        return 0;
    }
    if (arguments.size() == 2 && arguments[0] == "html") {
        const std::string text{std::istreambuf_iterator<char>(std::cin), {}};
        std::cout << Html(text, arguments[1]);
        return std::cout ? 0 : 1;
    }
    if (arguments.size() == 4 && arguments[0] == "simulate") {
        return Simulate(arguments[1], argv[3], argv[4]);
    }
    std::cerr << "usage: brawlhue_palette_picture palettes\n"
                 "       brawlhue_palette_picture html TITLE <ANSI >HTML\n"
                 "       brawlhue_palette_picture simulate normal|protan|deutan|tritan IN OUT\n";
    return 2;
}
