// Build-time tool: turns the factory bank's readable text (one chunk line per text line)
// into the bank file the plug-in embeds. Usage: zorvek-fxb <bank.txt> <bank.fxb>
//
// The text is checked against the parameter table so that a typing error fails the
// build instead of shipping a program that silently keeps a default: every program needs
// its name and each of the 56 values exactly once, and the four file lines must be there.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "framework/ParamDesc.h"

namespace {

constexpr int kPrograms = 16;
constexpr size_t kChunkSize = 18100;
constexpr size_t kLineLimit = 251;  // longest line the plug-in reads
constexpr size_t kNameLimit = 23;

int lowerHexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isLowerHex(const std::string& text) {
    if (text.size() != 8) return false;
    for (char c : text)
        if (lowerHexDigit(c) < 0) return false;
    return true;
}

int parameterIndex(const std::string& name) {
    for (int i = 0; i < kNumEntries; ++i)
        if (name == kVocoderParams[i].name) return i;
    return -1;
}

// Checks one line; the message says what is wrong, empty when nothing is.
std::string check(const std::string& line, std::set<std::string>& seen) {
    if (line.size() > kLineLimit) return "line longer than " + std::to_string(kLineLimit) + " characters";
    size_t equals = line.find('=');
    if (equals == std::string::npos || equals < 2) return "not a bank line \"ppKey=value\"";
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    int program = lowerHexDigit(key[0]) * 16 + lowerHexDigit(key[1]);
    if (lowerHexDigit(key[0]) < 0 || lowerHexDigit(key[1]) < 0 || program >= kPrograms)
        return "program number must be 00 to 0f";
    if (!seen.insert(key).second) return "key given twice";
    std::string name = key.substr(2);
    if (name == "_Name_") return value.size() > kNameLimit ? "program name longer than 23 characters" : "";
    int index = parameterIndex(name);
    if (index < 0) return "no parameter named \"" + name + "\"";
    if (index < kNumAutomatable) return isLowerHex(value) ? "" : "value must be 8 lowercase hexadecimal digits";
    if (index >= kFirstFileEntry) return program == 0 ? "" : "file lines belong to program 00";
    return "the file buttons have no value";
}

void putBigEndian(std::vector<unsigned char>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void putTag(std::vector<unsigned char>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: zorvek-fxb <bank.txt> <bank.fxb>\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << argv[1] << ": cannot read\n";
        return 1;
    }
    std::vector<unsigned char> chunk = {'4', '2', '2', '1'};
    std::set<std::string> seen;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::string problem = check(line, seen);
        if (!problem.empty()) {
            std::cerr << argv[1] << ":" << number << ": " << problem << "\n";
            return 1;
        }
        chunk.insert(chunk.end(), line.begin(), line.end());
        chunk.push_back(0);
    }
    for (int p = 0; p < kPrograms; ++p) {
        char prefix[3];
        std::snprintf(prefix, sizeof prefix, "%02x", p);
        std::vector<std::string> keys = {std::string(prefix) + "_Name_"};
        for (int i = 0; i < kNumAutomatable; ++i) keys.push_back(prefix + std::string(kVocoderParams[i].name));
        if (p == 0)
            for (int s = 0; s < kNumFileSlots; ++s)
                keys.push_back("00" + std::string(kVocoderParams[kFirstFileEntry + s].name));
        for (const std::string& key : keys) {
            if (!seen.count(key)) {
                std::cerr << argv[1] << ": missing " << key << "\n";
                return 1;
            }
        }
    }
    // The text must end with an empty line inside the chunk.
    if (chunk.size() >= kChunkSize) {
        std::cerr << argv[1] << ": " << chunk.size() << " bytes do not fit a chunk of " << kChunkSize << "\n";
        return 1;
    }
    chunk.resize(kChunkSize, 0);

    // Bank file header, big-endian: 160 bytes up to and including the chunk size.
    std::vector<unsigned char> file;
    putTag(file, "CcnK");
    putBigEndian(file, static_cast<uint32_t>(160 - 8 + kChunkSize));  // bytes after this field
    putTag(file, "FBCh");                                             // bank with an opaque chunk
    putBigEndian(file, 1);                                            // format version
    putTag(file, "1224");                                             // plug-in id
    putBigEndian(file, 1);                                            // plug-in version
    putBigEndian(file, kPrograms);
    file.resize(file.size() + 128, 0);  // reserved
    putBigEndian(file, static_cast<uint32_t>(kChunkSize));
    file.insert(file.end(), chunk.begin(), chunk.end());

    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (!out) {
        std::cerr << argv[2] << ": cannot write\n";
        return 1;
    }
    return 0;
}
