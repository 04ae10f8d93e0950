// The PNG reader against cairo's own, on files written by libpng with every row filter
// and colour kind, by our encoder and by the bundle, and on broken files; and the
// decoded pictures kept per thread, which must follow the file on disk.
#include "platform/render/png_decoder.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cairo_png_reading.h"
#include "platform/render/decoded_images.h"
#include "platform/render/png_encoder.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace tul {
namespace {

using render::ImageSurface;

using testing::cairosReading;

// Status, format, size, every pixel and the attached file, as one comparable text.
std::string described(cairo_surface_t* surface) {
  std::string out = cairo_status_to_string(cairo_surface_status(surface));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return out;
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  out += " format " + std::to_string(cairo_image_surface_get_format(surface)) + " " + std::to_string(width) + "x" +
         std::to_string(height) + "\n";
  const unsigned char* data = cairo_image_surface_get_data(surface);
  for (int y = 0; y < height; ++y) {
    out.append(reinterpret_cast<const char*>(data + y * cairo_image_surface_get_stride(surface)),
               static_cast<std::size_t>(width) * 4);
  }
  const unsigned char* file = nullptr;
  unsigned long size = 0;
  cairo_surface_get_mime_data(surface, CAIRO_MIME_TYPE_PNG, &file, &size);
  out += "\nattached " + std::to_string(size) + " bytes\n";
  if (file != nullptr) out.append(reinterpret_cast<const char*>(file), size);
  return out;
}

void expectSameAsCairo(const std::string& bytes, const std::string& what) {
  const ImageSurface ours = render::decodePNG(bytes);
  const ImageSurface theirs = cairosReading(bytes);
  EXPECT_TRUE(described(ours.get()) == described(theirs.get()))
      << what << ": ours " << described(ours.get()).substr(0, 60) << ", cairo's "
      << described(theirs.get()).substr(0, 60);
}

// A picture written by libpng: a gradient with noise, so that every filter has work.
std::string libpngFile(int colourType, int depth, int filter, int width, int height) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t length) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), length);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), depth, colourType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    std::vector<png_color> palette(256);
    for (int i = 0; i < 256; ++i)
      palette[static_cast<std::size_t>(i)] = {png_byte(i), png_byte(255 - i), png_byte(i / 2)};
    png_set_PLTE(png, info, palette.data(), 256);
  }
  png_set_filter(png, 0, filter);
  png_set_compression_buffer_size(png, 4096);  // several IDAT chunks
  png_write_info(png, info);
  const int channels = png_get_channels(png, info);
  const std::size_t rowBytes = static_cast<std::size_t>(width * channels * depth / 8);
  std::vector<png_byte> row(rowBytes);
  std::uint32_t seed = 7;
  for (int y = 0; y < height; ++y) {
    for (std::size_t i = 0; i < rowBytes; ++i) {
      seed = seed * 1664525U + 1013904223U;
      row[i] = static_cast<png_byte>(static_cast<int>(i) / 3 + y * 2 + static_cast<int>((seed >> 24) % 9));
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(PngDecoder, GivesWhatCairosReaderGives) {
  // Read here: 8-bit RGB and RGBA, each row filter on its own and libpng's own choice.
  for (const int colour : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA}) {
    for (const int filter :
         {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH, PNG_ALL_FILTERS}) {
      expectSameAsCairo(libpngFile(colour, 8, filter, 67, 41),
                        "colour " + std::to_string(colour) + ", filter " + std::to_string(filter));
    }
  }
  expectSameAsCairo(libpngFile(PNG_COLOR_TYPE_RGB, 8, PNG_FILTER_PAETH, 1, 1), "one pixel");
  // Left to cairo: other kinds.
  expectSameAsCairo(libpngFile(PNG_COLOR_TYPE_GRAY, 8, PNG_ALL_FILTERS, 30, 20), "grey");
  expectSameAsCairo(libpngFile(PNG_COLOR_TYPE_RGB_ALPHA, 16, PNG_ALL_FILTERS, 30, 20), "16 bits");
  expectSameAsCairo(libpngFile(PNG_COLOR_TYPE_PALETTE, 8, PNG_ALL_FILTERS, 30, 20), "palette");

  // Our own PNGs: every opacity, premultiplied again as cairo rounds.
  ImageSurface noise(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 300, 200));
  std::uint32_t seed = 3;
  for (int y = 0; y < 200; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(noise.get()) +
                                                 y * cairo_image_surface_get_stride(noise.get()));
    for (int x = 0; x < 300; ++x) {
      const auto next = [&] { return (seed = seed * 1664525U + 1013904223U) >> 24; };
      const std::uint32_t alpha = next();
      row[x] = alpha << 24 | next() % (alpha + 1) << 16 | next() % (alpha + 1) << 8 | next() % (alpha + 1);
    }
  }
  cairo_surface_mark_dirty(noise.get());
  const auto encoded = render::encodePNG(noise.get());
  ASSERT_TRUE(encoded);
  expectSameAsCairo(*encoded, "our encoder's");
  expectSameAsCairo(testing::readFile(std::filesystem::path(TUL_EXTENSION_BUNDLE_DIR) / "Resources/background.png"),
                    "the bundle's background");
}

// The PNG chunk checksum, bit by bit (test data is short).
std::uint32_t crc32Of(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char byte : bytes) {
    crc ^= static_cast<unsigned char>(byte);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::uint32_t bigEndian(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Truncated anywhere, or with any byte changed (in a chunk's length, type, data or
// CRC), a file is refused as cairo refuses it, or read as cairo reads it.
TEST(PngDecoder, BrokenFilesGetCairosVerdict) {
  const std::string good = libpngFile(PNG_COLOR_TYPE_RGB_ALPHA, 8, PNG_ALL_FILTERS, 9, 7);
  for (std::size_t size = 0; size < good.size(); size += 3) {
    expectSameAsCairo(good.substr(0, size), "cut to " + std::to_string(size) + " bytes");
  }
  for (std::size_t at = 0; at < good.size(); ++at) {
    std::string changed = good;
    changed[at] = static_cast<char>(changed[at] ^ 0x5A);
    expectSameAsCairo(changed, "byte " + std::to_string(at) + " changed");
  }
  expectSameAsCairo("not a picture", "text");
  expectSameAsCairo(good + "trailing bytes", "bytes after its end");
  // The image data split by another chunk (given its right CRC): not one run.
  const std::string big = libpngFile(PNG_COLOR_TYPE_RGB_ALPHA, 8, PNG_ALL_FILTERS, 67, 41);
  const std::size_t firstData = big.find("IDAT") - 4;
  std::string split = big.substr(0, firstData);
  const std::string text = std::string("tEXt") + "k" + '\0' + "v";
  std::string chunk = std::string("\0\0\0\3", 4) + text;
  const std::uint32_t crc = crc32Of(text);
  for (const int shift : {24, 16, 8, 0}) chunk += static_cast<char>((crc >> shift) & 0xFF);
  const std::size_t afterFirst = firstData + 12 + bigEndian(big, firstData);
  split += big.substr(firstData, afterFirst - firstData) + chunk + big.substr(afterFirst);
  ASSERT_NE(split.find("IDAT", afterFirst + chunk.size()), std::string::npos) << "the file needs two IDAT chunks";
  expectSameAsCairo(split, "image data split");
}

TEST(DecodedImages, DecodesAFileAgainOnlyWhenItChanges) {
  const testing::TempFolder folder;
  const std::filesystem::path file = folder.path() / "picture.png";
  const auto opaque = [](int width) { return libpngFile(PNG_COLOR_TYPE_RGB, 8, PNG_FILTER_NONE, width, 3); };
  testing::writeFile(file, opaque(5));
  const auto first = render::decodedPNG(file);
  ASSERT_TRUE(first);
  const auto again = render::decodedPNG(file);
  ASSERT_TRUE(again);
  EXPECT_EQ(first->get(), again->get()) << "an unchanged file is decoded once";

  // Replaced (a new file under the name) and rewritten in place: the new pixels.
  const std::filesystem::path next = folder.path() / "next.png";
  testing::writeFile(next, opaque(6));
  std::filesystem::rename(next, file);
  const auto replaced = render::decodedPNG(file);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(cairo_image_surface_get_width(replaced->get()), 6);
  testing::writeFile(file, opaque(7));
  const auto rewritten = render::decodedPNG(file);
  ASSERT_TRUE(rewritten);
  EXPECT_EQ(cairo_image_surface_get_width(rewritten->get()), 7);

  // Gone, or no longer a PNG: cairo's reason, and nothing kept from before.
  testing::writeFile(file, "no picture");
  const auto broken = render::decodedPNG(file);
  ASSERT_FALSE(broken);
  const ImageSurface cairos(cairo_image_surface_create_from_png(file.c_str()));
  EXPECT_EQ(broken.error(), cairo_status_to_string(cairo_surface_status(cairos.get())));
  std::filesystem::remove(file);
  EXPECT_FALSE(render::decodedPNG(file));
}

// What another thread decoded ahead is what the drawing thread then gets, without
// reading the file again: the file is spoilt afterwards with its identity kept (the
// same size, inode and time), which a second decode would report. One that a picture
// keeping to its thread decodes ahead is kept the same way.
TEST(DecodedImages, ImagesDecodedAheadAreKeptForTheThreadThatAsked) {
  const testing::TempFolder folder;
  const auto spoilKeepingIdentity = [](const std::filesystem::path& file) {
    const auto time = std::filesystem::last_write_time(file);
    std::string bytes = testing::readFile(file);
    bytes[bytes.size() - 20] = static_cast<char>(bytes[bytes.size() - 20] ^ 0x55);  // inside the last chunk
    std::fstream(file, std::ios::in | std::ios::out | std::ios::binary).write(bytes.data(), std::ssize(bytes));
    std::filesystem::last_write_time(file, time);
  };
  for (const bool elsewhere : {true, false}) {
    const std::filesystem::path file = folder.path() / (elsewhere ? "ahead.png" : "here.png");
    testing::writeFile(file, libpngFile(PNG_COLOR_TYPE_RGB, 8, PNG_FILTER_NONE, 4, 3));
    render::ImagesDecodedAhead(std::vector<std::filesystem::path>{file}, elsewhere).keep();
    spoilKeepingIdentity(file);
    const auto kept = render::decodedPNG(file);
    ASSERT_TRUE(kept) << (elsewhere ? "decoded elsewhere: " : "decoded here: ") << kept.error();
    EXPECT_EQ(cairo_image_surface_get_width(kept->get()), 4);
  }
  // A file that does not decode is not kept: decodedPNG() reports it.
  const std::filesystem::path broken = folder.path() / "broken.png";
  testing::writeFile(broken, "no picture");
  render::ImagesDecodedAhead(std::vector<std::filesystem::path>{broken}, true).keep();
  EXPECT_FALSE(render::decodedPNG(broken));
}

}  // namespace
}  // namespace tul
