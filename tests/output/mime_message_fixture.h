#pragma once

// A working folder per test, the message to write, and the reading of the written file by
// Python's email package, a real MIME parser.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "output/mime_message_writer.h"
#include "support/test_files.h"

namespace tarvex {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::string_view kBoundaryLine = "------=_NextPart_000_000D_01C2A06C.7F8E75B0\r\n";
constexpr std::string_view kClosingLine = "------=_NextPart_000_000D_01C2A06C.7F8E75B0--\r\n";
inline std::size_t Count(std::string_view text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string_view::npos;
       at = text.find(what, at + what.size())) {
    ++count;
  }
  return count;
}

class MimeMessageTest : public ::testing::Test {
 protected:
  MimeMessageTest() {
    fs::create_directories(folder_);
    message_.message_path = folder_ / "1a2b.eml";
  }

  static void Store(const fs::path& path, std::string_view bytes) {
    testing::WriteFile(path, bytes);
  }
  static std::string Load(const fs::path& path) { return testing::FileText(path); }
  void SetBody(std::u16string kind, std::string_view bytes,
               BodyFileEncoding encoding = BodyFileEncoding::kUnknown) {
    message_.body_kind = std::move(kind);
    message_.body_file = folder_ / "textbody.txt";
    message_.body_encoding = encoding;
    Store(message_.body_file, bytes);
  }
  std::string Write() {
    WriteEmlFile(message_);
    return Load(message_.message_path);
  }
  // What Python's email package reads from the message file.
  json Parse() {
    WriteEmlFile(message_);
    const std::string command = std::string("/usr/bin/python3 '") + TARVEX_MIME_PARSE_SCRIPT +
                                "' '" + message_.message_path.string() + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
      ADD_FAILURE() << "cannot run " << command;
      return json();
    }
    std::string output;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof(buffer), pipe.get())) {
      output.append(buffer, got);
    }
    json parsed = json::parse(output, nullptr, false);
    if (parsed.is_discarded()) ADD_FAILURE() << "parser output: " << output;
    return parsed;
  }
  static std::string Header(const json& parsed, std::string_view name) {
    for (const json& header : parsed["headers"]) {
      if (header[0].get<std::string>() == name) return header[1].get<std::string>();
    }
    return "<absent>";
  }
  static std::string Hex(std::string_view bytes) {
    static constexpr std::string_view kDigits = "0123456789abcdef";
    std::string hex;
    for (char c : bytes) {
      hex.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
      hex.push_back(kDigits[static_cast<unsigned char>(c) & 0x0F]);
    }
    return hex;
  }

  testing::ScratchFolder scratch_;
  const fs::path& root_ = scratch_.path();
  fs::path folder_ = root_ / "work";
  EmlMessage message_;
};

}  // namespace tarvex
