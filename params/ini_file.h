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

// How a file was read.
enum class IniEncoding {
  Utf8,     // also a file that does not exist
  Utf8Bom,  // UTF-8 with a byte-order mark
  Utf16Le,  // UTF-16 with a byte-order mark, either order
  Cp1251,   // bytes that are not valid UTF-8: the code page of Russian Windows systems
};

// Text of file bytes. A UTF-16 BOM gives UTF-16; a UTF-8 BOM or valid UTF-8 gives UTF-8;
// anything else is read as Windows-1251.
std::u16string DecodeIniBytes(std::string_view bytes, IniEncoding& encoding);
// File bytes of a text, whatever the file was read as: UTF-16LE with a byte-order mark. That
// is the form in which the Windows profile functions read and write Unicode and keep it
// Unicode; a file without the mark they read, and extend, in the ANSI code page.
std::string EncodeIniText(std::u16string_view text);

// Struct values: 2N upper-case hex digits of the bytes in memory order, then two digits of
// their sum modulo 256.
std::u16string EncodeStruct(const void* source, std::size_t size);
// True only for exactly 2N + 2 hex digits (either case) with a matching checksum; `dest` is
// untouched otherwise.
bool DecodeStruct(std::u16string_view value, void* dest, std::size_t size);

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
  // The bytes a save writes: CR LF lines in UTF-16LE with a byte-order mark.
  std::string Serialize() const;
  // Writes the whole file under a new name beside the old one, flushes it and gives it the
  // old one's name (replacing the file a symbolic link points to, not the link). Without
  // `replace` the name must still be free at that moment (EEXIST otherwise). False on any
  // failure (error() tells why); the old file is then untouched.
  bool Save(std::u16string_view path, bool replace = true);

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
  // Calls f(key) for every distinct key of a section (trimmed, as read), in no set order.
  template <class F>
  void ForEachKey(std::u16string_view section, F f) const {
    if (const Section* s = FindSection(section))
      for (const auto& entry : s->keys) f(entry.first);
  }

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
  // The decoded file, never changed: the lines read are views into it (held apart from the
  // object, so that a short text does not move with it).
  std::unique_ptr<const std::u16string> text_;
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
