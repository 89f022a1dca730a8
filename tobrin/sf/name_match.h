// Whether a found file's name matches a search pattern.
#pragma once

#include <string_view>

namespace tobrin::sf {

// The two search options, numbered as the search window derives them.
enum class SearchMode {
    kContainsExact = 1,    // "Case sensitive" on, "Whole words only" off
    kContainsNoCase = 2,   // both off
    kWholeNameExact = 3,   // both on
    kWholeNameNoCase = 4,  // "Whole words only" on, "Case sensitive" off
};

SearchMode ModeFromOptions(bool case_sensitive, bool whole_name);

// "Whole words only" means the whole file name. Both texts are compared with
// blanks trimmed at both ends; only ASCII letters fold. An empty pattern
// matches nothing.
bool NameMatches(std::string_view file_name, std::string_view pattern, SearchMode mode);

}  // namespace tobrin::sf
