// Private profile files: "[section]" headers and "key=value" lines, as the controller
// map keeps beside the plug-in.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Section and key names compare ASCII case-insensitively; the first match wins. Lines
// the reader does not understand (comments, junk) are kept, so a write preserves every
// other section, key and comment of the file.
class IniFile {
public:
    // Larger files are not read (and never rewritten): the file is untrusted input.
    static constexpr size_t kMaxFileSize = 256 * 1024;

    // Reads the file; a missing or unreadable file reads as empty. Only a regular file
    // is read (a FIFO or device is refused without waiting on it).
    explicit IniFile(std::string path);

    // Whether the file exists but could not be read (not a regular file, no permission,
    // oversized): such a file is never written over.
    bool unreadable() const { return !problem.empty(); }
    // Why, as a phrase for a message ("Permission denied"); "" when read or missing.
    const std::string& whyUnreadable() const { return problem; }

    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    // The key's value as an unsigned decimal: fallback when the key is missing, 0 when the
    // text has no leading digits, saturated at the largest unsigned when it overflows or
    // is negative.
    unsigned getUnsigned(std::string_view section, std::string_view key, unsigned fallback) const;
    void set(std::string_view section, std::string_view key, std::string_view value);

    // Writes the file through a temporary file and a rename when its content changed.
    // Answers false when nothing could be written (read-only folder, a file that could
    // not be read); the file on disk is then untouched.
    bool save();

private:
    struct Found {
        size_t sectionLine;  // index of the header, or lines.size() when absent
        size_t keyLine;      // index of the key line, or lines.size() when absent
        size_t sectionEnd;   // one past the section's last non-blank line
    };
    Found find(std::string_view section, std::string_view key) const;

    std::string path;
    std::vector<std::string> lines;
    std::string loaded;   // the file as read, to skip writes that change nothing
    std::string lineEnd;  // "\r" in files with CR LF line ends
    std::string problem;
};

}  // namespace platform
