#include "drvsetup/CommandLine.h"

#include <vector>

namespace drvsetup {
namespace {

struct Word {
    std::size_t begin;
    std::size_t end;
};

// The end of the program name: a quoted name ends at its closing quote, another at the first
// space.
std::size_t SkipProgramName(std::string_view line) {
    std::size_t end = !line.empty() && line[0] == '"' ? line.find('"', 1) : line.find(' ');
    if (end == std::string_view::npos) return line.size();
    return line[end] == '"' ? end + 1 : end;
}

std::vector<Word> SplitWords(std::string_view text) {
    std::vector<Word> words;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t begin = i;
        bool quoted = false;
        for (; i < text.size() && (quoted || text[i] != ' '); ++i) {
            if (text[i] == '"') quoted = !quoted;
        }
        words.push_back({begin, i});
    }
    return words;
}

std::string WithoutQuotes(std::string_view text) {
    std::string result;
    for (char c : text) {
        if (c != '"') result.push_back(c);
    }
    return result;
}

}  // namespace

ParsedCommandLine ParseCommandLine(std::string_view commandLine) {
    std::string_view rest = commandLine.substr(SkipProgramName(commandLine));
    std::vector<Word> words = SplitWords(rest);
    ParsedCommandLine parsed;
    if (words.size() < 2) return parsed;
    const Word& last = words.back();
    parsed.hardwareId = WithoutQuotes(rest.substr(last.begin, last.end - last.begin));
    std::size_t pathEnd = words[words.size() - 2].end;
    parsed.infPath = WithoutQuotes(rest.substr(words.front().begin, pathEnd - words.front().begin));
    if (parsed.infPath.empty() || parsed.hardwareId.empty()) {
        parsed.status = ParseStatus::kUsage;
    } else if (parsed.infPath.size() > kMaxInfPath) {
        parsed.status = ParseStatus::kPathTooLong;
    } else {
        parsed.status = ParseStatus::kOk;
    }
    return parsed;
}

bool HasDriveLetter(std::string_view path) {
    if (path.size() < 2 || path[1] != ':') return false;
    char c = path[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace drvsetup
