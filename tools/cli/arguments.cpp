#include "arguments.h"

#include <array>
#include <charconv>

namespace tobrin::cli {

const std::string_view kUsage =
    "usage: tobrin-cli [--disk PATH[@SECTORSIZE]]... COMMAND [ARGS]\n"
    "  volumes                       one row per drive letter\n"
    "  scan X:                       list the deleted files of a volume\n"
    "  recover X: --to DIR SELECT    recover deleted files into DIR\n"
    "  partitions                    list the partitions of every disk\n"
    "  raw-scan N                    list every file of partition N, live and deleted\n"
    "  raw-recover N --to DIR SELECT recover files of partition N into DIR\n"
    "  cat X:|N INDEX                write one found file's bytes to standard output\n"
    "SELECT: --index I (repeatable) | --all | --name PATTERN [--case-sensitive] [--whole-name]\n"
    "Options: --json (one JSON object per row), --quiet (no progress or summary),\n"
    "         --tree (recover into the files' folder paths under DIR)\n";

namespace {

struct CommandForm {
    std::string_view name;
    Command command;
    std::size_t operands;
};

constexpr std::array<CommandForm, 7> kCommands{{
    {"volumes", Command::kVolumes, 0},
    {"scan", Command::kScan, 1},
    {"recover", Command::kRecover, 1},
    {"partitions", Command::kPartitions, 0},
    {"raw-scan", Command::kRawScan, 1},
    {"raw-recover", Command::kRawRecover, 1},
    {"cat", Command::kCat, 2},
}};

bool IsRecovery(Command command) {
    return command == Command::kRecover || command == Command::kRawRecover;
}

std::optional<std::uint32_t> ParseNumber(std::string_view text) {
    std::uint32_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc{} || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> ParseVolume(std::string_view text) {
    if (text.size() != 2 || text[1] != ':') return std::nullopt;
    char letter = text[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') return std::nullopt;
    return std::string{letter, ':'};
}

class Parser {
  public:
    explicit Parser(std::span<const std::string_view> arguments) : arguments_(arguments) {}

    ParseResult Run() {
        for (pos_ = 0; pos_ < arguments_.size() && error_.empty() && !help_; ++pos_) {
            Take(arguments_[pos_]);
        }
        ParseResult result;
        result.help = help_;
        if (help_) return result;
        if (error_.empty()) Finish();
        result.error = error_;
        if (error_.empty()) result.invocation = invocation_;
        return result;
    }

  private:
    void Take(std::string_view argument) {
        if (argument == "--help" || argument == "-h") {
            help_ = true;
        } else if (argument.size() > 1 && argument.front() == '-') {
            TakeOption(argument);
        } else {
            operands_.push_back(argument);
        }
    }

    void TakeOption(std::string_view argument) {
        std::string_view name = argument;
        std::optional<std::string_view> inline_value;
        if (const auto equals = argument.find('='); equals != std::string_view::npos) {
            name = argument.substr(0, equals);
            inline_value = argument.substr(equals + 1);
        }
        if (TakeFlag(name)) {
            if (inline_value) error_ = "option " + std::string(name) + " takes no value";
            return;
        }
        if (!TakesValue(name)) {
            error_ = "unknown option " + std::string(argument);
            return;
        }
        if (!inline_value && pos_ + 1 >= arguments_.size()) {
            error_ = "option " + std::string(name) + " needs a value";
            return;
        }
        TakeValue(name, inline_value ? *inline_value : arguments_[++pos_]);
    }

    bool TakeFlag(std::string_view name) {
        Selection& selection = invocation_.selection;
        if (name == "--json") return invocation_.json = true;
        if (name == "--quiet") return invocation_.quiet = true;
        if (name == "--tree") return invocation_.tree = true;
        if (name == "--case-sensitive") return selection.case_sensitive = true;
        if (name == "--whole-name") return selection.whole_name = true;
        if (name == "--all") {
            SetSelection(Selection::Kind::kAll);
            return true;
        }
        return false;
    }

    static bool TakesValue(std::string_view name) {
        return name == "--disk" || name == "--to" || name == "--index" || name == "--name";
    }

    void TakeValue(std::string_view name, std::string_view value) {
        if (name == "--disk") {
            invocation_.disks.emplace_back(value);
        } else if (name == "--to") {
            if (seen_target_) error_ = "--to given twice";
            seen_target_ = true;
            invocation_.target_dir = value;
        } else if (name == "--index") {
            TakeIndex(value);
        } else {
            SetSelection(Selection::Kind::kName);
            invocation_.selection.pattern = value;
        }
    }

    void TakeIndex(std::string_view value) {
        const auto index = ParseNumber(value);
        if (!index) {
            error_ = "--index needs a file index, not '" + std::string(value) + "'";
            return;
        }
        SetSelection(Selection::Kind::kIndexes);
        invocation_.selection.indexes.push_back(*index);
    }

    void SetSelection(Selection::Kind kind) {
        Selection::Kind& current = invocation_.selection.kind;
        if (current != Selection::Kind::kNone && current != kind) {
            error_ = "choose one of --index, --all and --name";
        }
        if (current == kind && kind == Selection::Kind::kName) error_ = "--name given twice";
        current = kind;
    }

    void Finish() {
        if (operands_.empty()) {
            error_ = "no command given";
            return;
        }
        const CommandForm* form = FindCommand(operands_.front());
        if (!form) {
            error_ = "unknown command '" + std::string(operands_.front()) + "'";
            return;
        }
        invocation_.command = form->command;
        if (operands_.size() - 1 != form->operands) {
            error_ = std::string(form->name) + " takes " + std::to_string(form->operands) +
                     (form->operands == 1 ? " argument" : " arguments");
            return;
        }
        TakeOperands();
        if (error_.empty()) CheckOptions();
    }

    static const CommandForm* FindCommand(std::string_view name) {
        for (const CommandForm& form : kCommands) {
            if (form.name == name) return &form;
        }
        return nullptr;
    }

    void TakeOperands() {
        switch (invocation_.command) {
            case Command::kScan:
            case Command::kRecover:
                TakeVolume(operands_[1]);
                break;
            case Command::kRawScan:
            case Command::kRawRecover:
                TakePartition(operands_[1]);
                break;
            case Command::kCat:
                TakeCatOperands();
                break;
            default:
                break;
        }
    }

    void TakeVolume(std::string_view text) {
        const auto volume = ParseVolume(text);
        if (!volume) {
            error_ = "'" + std::string(text) + "' is not a drive letter such as C:";
            return;
        }
        invocation_.source = Source{};
        invocation_.source.is_volume = true;
        invocation_.source.volume = *volume;
    }

    void TakePartition(std::string_view text) {
        const auto partition = ParseNumber(text);
        if (!partition) {
            error_ = "'" + std::string(text) + "' is not a partition number";
            return;
        }
        invocation_.source = Source{};
        invocation_.source.partition = *partition;
    }

    void TakeCatOperands() {
        if (ParseVolume(operands_[1])) {
            TakeVolume(operands_[1]);
        } else {
            TakePartition(operands_[1]);
        }
        if (!error_.empty()) {
            error_ = "cat needs a drive letter such as C: or a partition number, not '" +
                     std::string(operands_[1]) + "'";
            return;
        }
        const auto index = ParseNumber(operands_[2]);
        if (!index) {
            error_ = "'" + std::string(operands_[2]) + "' is not a file index";
            return;
        }
        invocation_.file_index = *index;
    }

    void CheckOptions() {
        const Selection& selection = invocation_.selection;
        const bool recovery = IsRecovery(invocation_.command);
        if (recovery && !seen_target_) {
            error_ = "recovery needs --to DIR";
        } else if (recovery && invocation_.target_dir.empty()) {
            error_ = "--to needs a directory";
        } else if (recovery && selection.kind == Selection::Kind::kNone) {
            error_ = "recovery needs --index, --all or --name";
        } else if (!recovery &&
                   (seen_target_ || selection.kind != Selection::Kind::kNone || invocation_.tree)) {
            error_ = "--to, --index, --all, --name and --tree belong to recover and raw-recover";
        } else if (selection.kind != Selection::Kind::kName &&
                   (selection.case_sensitive || selection.whole_name)) {
            error_ = "--case-sensitive and --whole-name go with --name";
        } else if (invocation_.command == Command::kCat && invocation_.json) {
            error_ = "cat writes the file's bytes; --json does not apply";
        }
    }

    std::span<const std::string_view> arguments_;
    std::size_t pos_ = 0;
    std::vector<std::string_view> operands_;
    Invocation invocation_;
    bool seen_target_ = false;
    bool help_ = false;
    std::string error_;
};

}  // namespace

ParseResult ParseArguments(std::span<const std::string_view> arguments) {
    return Parser(arguments).Run();
}

}  // namespace tobrin::cli
