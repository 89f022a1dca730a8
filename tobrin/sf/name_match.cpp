#include "name_match.h"

#include <algorithm>

#include "shared_functions.h"

namespace tobrin::sf {
namespace {

bool SameChar(char a, char b, bool case_sensitive) {
    return case_sensitive ? a == b : shell::FoldCase(a) == shell::FoldCase(b);
}

bool Contains(std::string_view text, std::string_view part, bool case_sensitive) {
    auto same = [case_sensitive](char a, char b) { return SameChar(a, b, case_sensitive); };
    return std::search(text.begin(), text.end(), part.begin(), part.end(), same) != text.end();
}

bool Equals(std::string_view a, std::string_view b, bool case_sensitive) {
    auto same = [case_sensitive](char x, char y) { return SameChar(x, y, case_sensitive); };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}

}  // namespace

SearchMode ModeFromOptions(bool case_sensitive, bool whole_name) {
    if (whole_name)
        return case_sensitive ? SearchMode::kWholeNameExact : SearchMode::kWholeNameNoCase;
    return case_sensitive ? SearchMode::kContainsExact : SearchMode::kContainsNoCase;
}

bool NameMatches(std::string_view file_name, std::string_view pattern, SearchMode mode) {
    const std::string_view name = shell::Trim(file_name);
    const std::string_view wanted = shell::Trim(pattern);
    if (wanted.empty()) return false;
    const bool case_sensitive =
        mode == SearchMode::kContainsExact || mode == SearchMode::kWholeNameExact;
    const bool whole_name =
        mode == SearchMode::kWholeNameExact || mode == SearchMode::kWholeNameNoCase;
    return whole_name ? Equals(name, wanted, case_sensitive)
                      : Contains(name, wanted, case_sensitive);
}

}  // namespace tobrin::sf
