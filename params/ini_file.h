#pragma once
// The settings file: the five private-profile operations over one in-memory copy of an INI
// file, read once and written once. Follows the Windows conventions: section and key names
// compare without regard to case, blanks around names and values are trimmed, a value in
// matching double quotes loses them, lines without "=" and lines starting with ";" are
// ignored, the first of two equal keys wins. Lines the program does not own are kept as read.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvik {

enum class IniEncoding {
  Utf8,     // also a new file, and a legacy 8-bit file once it is saved
  Utf8Bom,  // UTF-8 with a byte-order mark, kept on save
  Utf16Le,  // UTF-16 with a byte-order mark (either order on read, little-endian on save)
  Cp1251,   // bytes that are not valid UTF-8: the code page of Russian Windows systems
};

// Text of file bytes. A UTF-16 BOM gives UTF-16; a UTF-8 BOM or valid UTF-8 gives UTF-8;
// anything else is read as Windows-1251.
std::u16string DecodeIniBytes(std::string_view bytes, IniEncoding& encoding);
// File bytes of a text. A Windows-1251 file is written back as UTF-8, which holds every
// character a user can type.
std::string EncodeIniText(std::u16string_view text, IniEncoding encoding);

// Struct values: 2N upper-case hex digits of the bytes in memory order, then two digits of
// their sum modulo 256.
std::u16string EncodeStruct(const void* source, std::size_t size);
// True only for exactly 2N + 2 hex digits (either case) with a matching checksum; `dest` is
// untouched otherwise.
bool DecodeStruct(std::u16string_view value, void* dest, std::size_t size);

// Test seam: the file steps where a fault can be injected. The hook returns an errno value
// to fail the step with, or 0 to let it run. Tests run as root, so permissions cannot fail.
enum class IniIoStep { Read, Open, Write, Sync, Rename };
using IniFaultHook = int (*)(IniIoStep step);
void SetIniFaultHook(IniFaultHook hook);

class IniFile {
 public:
  IniFile();

  // Reads and parses the whole file. A file that does not exist is an empty one. False when
  // the file exists but cannot be read (error() tells why); the object is then empty.
  // Sections named in `drop` are left out as RemoveSection would, without the cost of
  // keeping them first.
  bool Load(std::u16string_view path, std::span<const std::u16string_view> drop = {});
  // Parses bytes already in memory.
  void Parse(std::string_view bytes, std::span<const std::u16string_view> drop = {});
  // The bytes a save would write: CRLF lines in the file's encoding.
  std::string Serialize() const;
  // Writes the whole file beside the old one, flushes it and renames it over the old one.
  // False on any failure (error() tells why); the old file is then untouched.
  bool Save(std::u16string_view path);

  bool existed() const { return existed_; }
  int error() const { return error_; }
  IniEncoding encoding() const { return encoding_; }

  // GetPrivateProfileStruct.
  bool GetStruct(std::u16string_view section, std::u16string_view key, void* dest,
                 std::size_t size) const;
  // GetPrivateProfileString with an empty default: at most capacity - 1 characters, always
  // terminated. Returns the number of characters copied.
  std::size_t GetString(std::u16string_view section, std::u16string_view key, char16_t* dest,
                        std::size_t capacity) const;
  // The value (trimmed, quotes removed), or false when the key or section is missing.
  bool GetValue(std::u16string_view section, std::u16string_view key,
                std::u16string_view& value) const;
  // WritePrivateProfileStruct / WritePrivateProfileString: set the key, adding it at the
  // end of its section and the section at the end of the file when they are new.
  void WriteStruct(std::u16string_view section, std::u16string_view key, const void* source,
                   std::size_t size);
  void WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view text);
  // WritePrivateProfileSection without keys: the section and all its keys go.
  void RemoveSection(std::u16string_view section);

  // Number of distinct keys in a section (0 when it is missing).
  std::size_t KeyCount(std::u16string_view section) const;

  // Names of the sections in file order (duplicates included).
  std::vector<std::u16string> SectionNames() const;

  // Case-insensitive hashing and comparison of names (ASCII and Cyrillic letters).
  struct NameHash {
    // Not noexcept on purpose: the hash tables then cache hash codes and compare them first.
    std::size_t operator()(std::u16string_view s) const;
  };
  struct NameEq {
    bool operator()(std::u16string_view a, std::u16string_view b) const noexcept;
  };

 private:
  // Line texts live in arena blocks that never move; a section is heap-allocated and never
  // moves either. So the key views of `keys` and the name views of `index_` stay valid.
  struct Section {
    std::u16string name;                     // trimmed; empty for the lines before the first header
    std::u16string header;                   // the header line as read or written
    std::vector<std::u16string_view> lines;  // up to the last non-blank line
    std::vector<std::u16string_view> trailing;  // blank lines after it
    std::unordered_map<std::u16string_view, std::size_t, NameHash, NameEq> keys;  // first wins
  };

  const Section* FindSection(std::u16string_view name) const;
  Section* FindOrAddSection(std::u16string_view name);
  void Reindex();
  void Reset();
  // Copies text into the arena; the view stays valid as long as the object.
  std::u16string_view Store(std::u16string_view text);
  // Sets `key` to the line in scratch_ (which starts with the key and "=").
  void SetLine(std::u16string_view section, std::size_t keySize);

  std::vector<std::unique_ptr<Section>> sections_;  // [0]: the lines before the first header
  std::unordered_map<std::u16string_view, std::size_t, NameHash, NameEq> index_;  // first wins
  std::vector<std::unique_ptr<char16_t[]>> arena_;
  char16_t* arenaPos_ = nullptr;
  std::size_t arenaLeft_ = 0;
  std::u16string scratch_;
  IniEncoding encoding_ = IniEncoding::Utf8;
  bool existed_ = false;
  int error_ = 0;
};

// "Core"/"Seed": the item identifier counter, an 8-byte struct.
bool ReadSeed(std::u16string_view path, std::int64_t& seed);
// False when the file cannot be read or written; `err` then holds the reason.
bool WriteSeed(std::u16string_view path, std::int64_t seed, int* err = nullptr);

}  // namespace tarvik
