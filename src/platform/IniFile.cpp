#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/RegularFile.h"

namespace platform {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// The name of a "[name]" header line, or nothing.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

// Key and value of a "key=value" line; comment lines have none.
bool splitKey(std::string_view line, std::string_view& key, std::string_view& value) {
    line = trim(line);
    if (line.empty() || line.front() == ';' || line.front() == '#' || line.front() == '[') return false;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    key = trim(line.substr(0, equals));
    value = trim(line.substr(equals + 1));
    return true;
}

// The bytes of the file when it exists and is at most the limit; otherwise nothing, and
// why in 'problem' unless the file is simply missing.
std::string readBounded(const std::string& path, std::string& problem) {
    std::string content;
    RegularFile file(path);
    if (file.status() != RegularFile::Status::Open) {
        if (file.status() != RegularFile::Status::Missing) problem = file.reason();
        return content;
    }
    content.resize(IniFile::kMaxFileSize + 1);
    size_t got = file.readAt(0, content.data(), content.size());
    if (got > IniFile::kMaxFileSize) {
        problem = "Larger than 256 KiB";
        got = 0;
    }
    content.resize(got);
    return content;
}

}  // namespace

IniFile::IniFile(std::string filePath) : path(std::move(filePath)) {
    loaded = readBounded(path, problem);
    std::string_view rest = loaded;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        lines.emplace_back(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    // Lines written later end the way the file's first line does.
    if (!lines.empty() && !lines.front().empty() && lines.front().back() == '\r') lineEnd.push_back('\r');
}

IniFile::Found IniFile::find(std::string_view section, std::string_view key) const {
    Found found{lines.size(), lines.size(), lines.size()};
    size_t i = 0;
    for (; i < lines.size(); ++i) {
        auto name = sectionName(lines[i]);
        if (name && sameName(*name, section)) break;
    }
    if (i == lines.size()) return found;
    found.sectionLine = i;
    found.sectionEnd = i + 1;
    for (++i; i < lines.size(); ++i) {
        if (sectionName(lines[i])) break;
        if (!trim(lines[i]).empty()) found.sectionEnd = i + 1;
        std::string_view name, value;
        if (found.keyLine == lines.size() && splitKey(lines[i], name, value) && sameName(name, key)) found.keyLine = i;
    }
    return found;
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
    Found found = find(section, key);
    if (found.keyLine == lines.size()) return std::nullopt;
    std::string_view name, value;
    splitKey(lines[found.keyLine], name, value);
    return std::string(value);
}

unsigned IniFile::getUnsigned(std::string_view section, std::string_view key, unsigned fallback) const {
    auto text = get(section, key);
    if (!text) return fallback;
    std::string_view digits = *text;
    if (!digits.empty() && digits.front() == '-') return UINT_MAX;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    unsigned long long result = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') break;
        result = result * 10 + static_cast<unsigned>(c - '0');
        if (result > UINT_MAX) return UINT_MAX;
    }
    return static_cast<unsigned>(result);
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    std::string line(key);
    line.append("=").append(value).append(lineEnd);
    Found found = find(section, key);
    if (found.keyLine != lines.size()) {
        lines[found.keyLine] = std::move(line);
    } else if (found.sectionLine != lines.size()) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(found.sectionEnd), std::move(line));
    } else {
        if (!lines.empty() && !trim(lines.back()).empty()) lines.push_back(lineEnd);
        std::string header("[");
        header.append(section).append("]").append(lineEnd);
        lines.push_back(std::move(header));
        lines.push_back(std::move(line));
    }
}

bool IniFile::save() {
    if (unreadable()) return false;
    std::string content;
    for (const std::string& line : lines) {
        content += line;
        content += '\n';
    }
    if (content == loaded) return true;

    // A symbolic link stays a link: the file it points at is replaced.
    std::string target = path;
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    std::string temporary = target + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) return false;
    struct stat old {};
    fchmod(fd, stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    size_t written = 0;
    while (written < content.size()) {
        ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    bool complete = written == content.size();
    bool closed = close(fd) == 0;
    if (!complete || !closed || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    loaded = std::move(content);
    return true;
}

}  // namespace platform
