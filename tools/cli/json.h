// JSON rows for --json: one object per line of output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tobrin::cli {

// `text` as a JSON string literal. Engine text is 8-bit; bytes that do not
// form UTF-8 become U+FFFD so that the output stays valid JSON.
std::string JsonString(std::string_view text);

// Builds {"key":value,...} one member at a time.
class JsonObject {
  public:
    JsonObject& Add(std::string_view key, std::string_view text);
    // Keeps a string literal from converting to bool.
    JsonObject& Add(std::string_view key, const char* text) {
        return Add(key, std::string_view(text));
    }
    JsonObject& Add(std::string_view key, std::uint64_t number);
    JsonObject& Add(std::string_view key, bool value);
    std::string Text() const { return text_ + "}"; }

  private:
    void Key(std::string_view key);
    std::string text_ = "{";
};

// A found-file line as an object: name, folder, size, time, index, then
// "integrality" (volume engine, "87%" -> 87) or "deleted" (raw engine). A line
// that does not split into six fields comes out as {"line": text}.
enum class LineKind { kVolume, kRaw };
JsonObject FoundFileObject(std::string_view line, LineKind kind);

}  // namespace tobrin::cli
