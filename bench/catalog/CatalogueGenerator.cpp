#include "bench/catalog/CatalogueGenerator.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>

namespace varnel::bench {

namespace {

// Distinct icon files; programs share them so that 50,000 programs stay a few megabytes.
constexpr int kIconFiles = 500;

void Put(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A 32 x 32, 32-bit icon file with one image in the classic bitmap form.
std::string IconFile(uint32_t color) {
  constexpr int kSize = 32;
  const uint32_t imageBytes = 40 + kSize * kSize * 4 + kSize * 4;
  std::string out;
  Put(out, 0, 2);
  Put(out, 1, 2);
  Put(out, 1, 2);
  out += static_cast<char>(kSize);
  out += static_cast<char>(kSize);
  Put(out, 0, 2);
  Put(out, 1, 2);
  Put(out, 32, 2);
  Put(out, imageBytes, 4);
  Put(out, 22, 4);
  Put(out, 40, 4);
  Put(out, kSize, 4);
  Put(out, kSize * 2, 4);  // colour rows and mask rows
  Put(out, 1, 2);
  Put(out, 32, 2);
  for (int i = 0; i < 6; ++i) Put(out, 0, 4);
  for (int i = 0; i < kSize * kSize; ++i) Put(out, color | 0xFF000000u, 4);
  out.append(kSize * 4, '\0');
  return out;
}

void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

std::string TGeneratedCatalogue::Name(int program) {
  return "Program " + std::to_string(program);
}

TGeneratedCatalogue::TGeneratedCatalogue(int programs) {
  std::mt19937 random(static_cast<uint32_t>(programs));
  const auto root = std::filesystem::temp_directory_path() /
                    ("varnel-bench-" + std::to_string(programs) + "-" + std::to_string(random()));
  std::filesystem::create_directories(root / "data");
  appDir_ = root.string() + "/";
  for (int i = 0; i < kIconFiles; ++i) {
    Write(root / "data" / ("icon" + std::to_string(i) + ".ico"), IconFile(random()));
  }
  std::string text;
  for (int p = 0; p < programs; ++p) {
    // Every 50th program repeats an earlier name; every 20th has no archive.
    const std::string name = p % 50 == 49 ? Name(p / 2) : Name(p);
    text += "icon" + std::to_string(p % kIconFiles) + ".ico\r\n";
    text += name + "\r\n";
    text +=
        (p % 20 == 0 ? std::string("none") : "http://127.0.0.1/p/" + std::to_string(p) + ".zip");
    text += "\r\n" + name + "/run.exe\r\n";
    text += "Description of " + name + ", a portable program\r\n";
    text += "http://127.0.0.1/p/" + std::to_string(p) + "\r\n\r\n\r\n\r\n\r\n";
  }
  Write(root / "data" / "software.dat", text);
}

TGeneratedCatalogue::~TGeneratedCatalogue() {
  std::error_code ignored;
  std::filesystem::remove_all(appDir_, ignored);
}

}  // namespace varnel::bench
