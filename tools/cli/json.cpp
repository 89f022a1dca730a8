#include "json.h"

#include <array>
#include <charconv>
#include <vector>

#include "scan_model.h"
#include "shared_functions.h"

namespace tobrin::cli {
namespace {

// Length of the valid UTF-8 sequence starting at `pos`, or 0.
std::size_t Utf8Length(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - pos < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(pos + i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

void AppendEscaped(std::string& out, unsigned char c) {
    switch (c) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    if (c < 0x20 || c == 0x7F) {
        constexpr std::string_view kHex = "0123456789abcdef";
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
        return;
    }
    out += static_cast<char>(c);
}

std::uint64_t NumberOrZero(std::string_view text) {
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = Utf8Length(text, pos);
        if (length == 0) {
            out += "\\ufffd";
            ++pos;
        } else if (length == 1) {
            AppendEscaped(out, static_cast<unsigned char>(text[pos++]));
        } else {
            out.append(text.substr(pos, length));
            pos += length;
        }
    }
    return out + "\"";
}

void JsonObject::Key(std::string_view key) {
    if (text_.size() > 1) text_ += ',';
    text_ += JsonString(key);
    text_ += ':';
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view text) {
    Key(key);
    text_ += JsonString(text);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::uint64_t number) {
    Key(key);
    text_ += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
    Key(key);
    text_ += value ? "true" : "false";
    return *this;
}

JsonObject FoundFileObject(std::string_view line, LineKind kind) {
    std::vector<std::string_view> fields;
    JsonObject object;
    if (!shell::SplitFields(line, shell::kFieldCount, fields)) return object.Add("line", line);
    object.Add("name", fields[shell::kFieldName])
        .Add("folder", fields[shell::kFieldFolder])
        .Add("size", NumberOrZero(fields[shell::kFieldSize]))
        .Add("time", fields[shell::kFieldTime])
        .Add("index", NumberOrZero(fields[shell::kFieldIndex]));
    const std::string_view last = fields[shell::kFieldLast];
    if (kind == LineKind::kVolume) {
        object.Add("integrality", NumberOrZero(last.substr(0, last.find('%'))));
    } else {
        object.Add("deleted", last != "0");
    }
    return object;
}

}  // namespace tobrin::cli
