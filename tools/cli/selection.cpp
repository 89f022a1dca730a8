#include "selection.h"

#include <unordered_set>

#include "name_match.h"
#include "scan_model.h"
#include "shared_functions.h"

namespace tobrin::cli {
namespace {

std::vector<std::string_view> UsableLines(std::span<const std::string_view> lines,
                                          const Selection& selection) {
    const sf::SearchMode mode = sf::ModeFromOptions(selection.case_sensitive, selection.whole_name);
    std::vector<std::string_view> chosen;
    std::vector<std::string_view> fields;
    for (const std::string_view line : lines) {
        if (!shell::SplitFields(line, shell::kFieldCount, fields)) continue;
        if (selection.kind == Selection::Kind::kName &&
            !sf::NameMatches(fields[shell::kFieldName], selection.pattern, mode)) {
            continue;
        }
        chosen.push_back(line);
    }
    return chosen;
}

// The distinct indexes as text, in the order given; empty with `missing` set
// when a found file has none of them.
std::vector<std::string> IndexTexts(std::span<const std::uint32_t> indexes,
                                    std::span<const std::string_view> lines, std::string& missing) {
    std::unordered_set<std::string_view> present;
    std::vector<std::string_view> fields;
    for (const std::string_view line : lines) {
        if (shell::SplitFields(line, shell::kFieldCount, fields)) {
            present.insert(shell::Trim(fields[shell::kFieldIndex]));
        }
    }
    std::vector<std::string> texts;
    std::unordered_set<std::uint32_t> taken;
    for (const std::uint32_t index : indexes) {
        if (!taken.insert(index).second) continue;
        texts.push_back(std::to_string(index));
        if (!present.contains(texts.back())) {
            missing = texts.back();
            return {};
        }
    }
    return texts;
}

SelectResult LinesOfIndexes(std::span<const std::uint32_t> indexes,
                            std::span<const std::string_view> lines) {
    std::string missing;
    const std::vector<std::string> texts = IndexTexts(indexes, lines, missing);
    if (!missing.empty()) return SelectResult{{}, "no found file has the index " + missing};
    return SelectResult{shell::SelectLinesByIndex(texts, lines, {}), {}};
}

}  // namespace

SelectResult SelectLines(const Selection& selection, std::span<const std::string_view> lines) {
    if (selection.kind == Selection::Kind::kIndexes) {
        return LinesOfIndexes(selection.indexes, lines);
    }
    return SelectResult{UsableLines(lines, selection), {}};
}

}  // namespace tobrin::cli
