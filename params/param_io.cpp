#include "params/param_io.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <new>
#include <utility>
#include <vector>

#include "core/platform.h"
#include "core/progress_steps.h"
#include "core/text.h"
#include "params/default_params.h"
#include "resources/string_ids.h"

namespace tarvik {

// Struct values are the bytes in memory order, which the file defines as little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr std::u16string_view kFilter = u"Filter";
constexpr std::u16string_view kSchema = u"Schema";
constexpr std::u16string_view kExport = u"Export";
constexpr std::u16string_view kCount = u"Count";

// "i.field" and "i.j.field" without a formatter per key.
class Key {
 public:
  std::u16string_view operator()(std::uint32_t i, std::u16string_view field) {
    text_.clear();
    Append(i);
    text_ += u'.';
    text_ += field;
    return text_;
  }
  std::u16string_view operator()(std::uint32_t i, std::uint32_t j, std::u16string_view field) {
    text_.clear();
    Append(i);
    text_ += u'.';
    Append(j);
    text_ += u'.';
    text_ += field;
    return text_;
  }

 private:
  void Append(std::uint32_t v) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    for (char* p = buf; p != r.ptr; ++p) text_ += static_cast<char16_t>(*p);
  }
  std::u16string text_;
};

// What a load or save reports, when it has someone to report to.
class Progress {
 public:
  explicit Progress(ParamProgress* to) : to_(to) {}
  void Begin(std::uint32_t statusId) {
    if (to_ && !to_->Cancelled()) to_->Begin(statusId);
  }
  // The percentages of a section of n items.
  auto Steps(std::uint64_t n) {
    return PercentSteps(n, [to = to_](int percent) {
      if (to) to->Percent(percent);
    });
  }
  bool Cancelled() const { return to_ && to_->Cancelled(); }

 private:
  ParamProgress* to_;
};

// Reads "i." off the front of a key, as keys are written: decimal digits without a leading
// zero, then a dot. False when the key does not start with an item number.
bool TakeIndex(std::u16string_view& key, std::uint32_t& index) {
  std::size_t n = 0;
  std::uint64_t v = 0;
  while (n < key.size() && n < 11 && key[n] >= u'0' && key[n] <= u'9')
    v = v * 10 + static_cast<std::uint64_t>(key[n++] - u'0');
  if (n == 0 || n >= key.size() || key[n] != u'.' || (n > 1 && key[0] == u'0') || v > UINT32_MAX)
    return false;
  index = static_cast<std::uint32_t>(v);
  key.remove_prefix(n + 1);
  return true;
}

// The item numbers of a section that get a record. Every number below the count that the file
// holds keys for does; the others load as empty records, and only as many of them as a small
// margin allows. So memory and time follow the keys present, whatever a damaged count says.
class Plan {
 public:
  static constexpr std::uint32_t kMargin = 64;  // empty records a whole section may get

  // `present` in any order, duplicates allowed.
  void Set(std::vector<std::uint32_t> present, std::uint32_t count) {
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());
    present.erase(std::lower_bound(present.begin(), present.end(), count), present.end());
    present_ = std::move(present);
    count_ = count;
  }

  // Calls item(i) for each planned number in ascending order while go() holds; `margin` is
  // the shared allowance of empty records and shrinks as they are used.
  template <class Go, class Item>
  void Run(std::uint32_t& margin, Go go, Item item) const {
    std::size_t p = 0;
    for (std::uint32_t i = 0; i < count_ && go();) {
      if (p < present_.size() && present_[p] == i) {
        ++p;
      } else if (margin > 0) {
        --margin;
      } else if (p < present_.size()) {
        i = present_[p];  // the rest of the gap is skipped
        continue;
      } else {
        break;
      }
      item(i);
      ++i;
    }
  }

  // How many records Run would make with `margin` (for progress).
  std::uint64_t Size(std::uint32_t margin) const {
    return present_.size() + std::min<std::uint64_t>(margin, count_ - present_.size());
  }

 private:
  std::vector<std::uint32_t> present_;
  std::uint32_t count_ = 0;
};

std::uint32_t ReadCount(const IniFile& ini, std::u16string_view section, std::u16string_view key) {
  std::uint32_t n = 0;
  ini.GetStruct(section, key, &n, sizeof n);
  return n;
}

template <std::size_t N>
void ReadText(const IniFile& ini, std::u16string_view section, std::u16string_view key,
              char16_t (&field)[N]) {
  // The capacity handed to the read is one less than the field's: capacity - 2 characters.
  ini.GetString(section, key, field, N - 1);
}

template <class T>
void ReadStruct(const IniFile& ini, std::u16string_view section, std::u16string_view key,
                T& field) {
  ini.GetStruct(section, key, &field, sizeof field);
}

template <class T>
void WriteStruct(IniFile& ini, std::u16string_view section, std::u16string_view key,
                 const T& field) {
  ini.WriteStruct(section, key, &field, sizeof field);
}

template <std::size_t N>
void WriteText(IniFile& ini, std::u16string_view section, std::u16string_view key,
               const char16_t (&field)[N]) {
  ini.WriteString(section, key, FieldText(field));
}

// A record the store had no memory for. Skipping it would drop a set from the store that the
// next save then deletes from the file: the load fails as a whole instead (the pipeline, or the
// command line, catches it and says so).
template <class T>
T* Need(T* record) {
  if (!record) throw std::bad_alloc();
  return record;
}

// The largest identifier loaded, for raising the seed.
void NoteId(std::int64_t& maxId, std::uint64_t id) {
  auto v = static_cast<std::int64_t>(id);
  if (v > maxId) maxId = v;
}

// Calls read(i) for each item of a flat section: the numbers with keys, and as many empty
// ones below Count as the margin allows; progress steps by item.
template <class ReadItem>
void ReadFlat(const IniFile& ini, std::u16string_view section, Progress& progress, ReadItem read) {
  std::vector<std::uint32_t> present;
  ini.ForEachKey(section, [&](std::u16string_view k) {
    std::uint32_t i;
    if (TakeIndex(k, i)) present.push_back(i);
  });
  Plan plan;
  plan.Set(std::move(present), ReadCount(ini, section, kCount));
  std::uint32_t margin = Plan::kMargin;
  auto steps = progress.Steps(plan.Size(margin));
  std::uint64_t done = 0;
  plan.Run(
      margin, [&] { return !progress.Cancelled(); },
      [&](std::uint32_t i) {
        read(i);
        steps.At(done++);
      });
}

void ReadFilters(const IniFile& ini, CParamStore& store, Progress& progress, std::int64_t& maxId) {
  Key key;
  ReadFlat(ini, kFilter, progress, [&](std::uint32_t i) {
    FilterArea* f = Need(store.AppendFilter());
    ReadStruct(ini, kFilter, key(i, u"Param"), f->Param);
    ReadStruct(ini, kFilter, key(i, u"ID"), f->ID);
    ReadText(ini, kFilter, key(i, u"Name"), f->Name);
    ReadStruct(ini, kFilter, key(i, u"AX"), f->AX);
    ReadStruct(ini, kFilter, key(i, u"AY"), f->AY);
    ReadStruct(ini, kFilter, key(i, u"CX"), f->CX);
    ReadStruct(ini, kFilter, key(i, u"CY"), f->CY);
    NoteId(maxId, f->ID);
  });
  progress.Begin(STR_STATUS_LOADING_PARAMS);  // only while not cancelled
}

void ReadSchemas(const IniFile& ini, CParamStore& store, Progress& progress, std::int64_t& maxId) {
  // Schema numbers from "i.field" and "i.j.field", entry numbers (i, j) from the latter.
  std::vector<std::uint32_t> present;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
  ini.ForEachKey(kSchema, [&](std::u16string_view k) {
    std::uint32_t i, j;
    if (!TakeIndex(k, i)) return;
    present.push_back(i);
    if (TakeIndex(k, j)) entries.emplace_back(i, j);
  });
  std::sort(entries.begin(), entries.end());
  Plan plan;
  plan.Set(std::move(present), ReadCount(ini, kSchema, kCount));
  std::uint32_t margin = Plan::kMargin;
  auto steps = progress.Steps(plan.Size(margin));
  std::uint64_t done = 0;
  Key key;
  auto go = [&] { return !progress.Cancelled(); };
  plan.Run(margin, go, [&](std::uint32_t i) {
    SchemaSet* s = Need(store.AppendSchema());
    ReadStruct(ini, kSchema, key(i, u"Param"), s->Param);
    ReadStruct(ini, kSchema, key(i, u"ID"), s->ID);
    ReadText(ini, kSchema, key(i, u"Name"), s->Name);
    NoteId(maxId, s->ID);
    auto first = std::lower_bound(entries.begin(), entries.end(), std::make_pair(i, 0u));
    auto last = std::upper_bound(first, entries.end(), std::make_pair(i, UINT32_MAX));
    std::vector<std::uint32_t> js;
    for (auto it = first; it != last; ++it) js.push_back(it->second);
    Plan entryPlan;
    entryPlan.Set(std::move(js), ReadCount(ini, kSchema, key(i, kCount)));
    entryPlan.Run(margin, go, [&](std::uint32_t j) {
      SchemaEntry* e = Need(store.AppendEntry(*s));
      ReadStruct(ini, kSchema, key(i, j, u"ID"), e->ID);
      ReadStruct(ini, kSchema, key(i, j, u"Param"), e->Param);
      ReadStruct(ini, kSchema, key(i, j, u"Type"), e->Type);
      ReadText(ini, kSchema, key(i, j, u"Desc"), e->Desc);
      NoteId(maxId, e->ID);
    });
    steps.At(done++);
  });
  progress.Begin(STR_STATUS_LOADING_PARAMS);  // only while not cancelled
}

void ReadProfiles(const IniFile& ini, CParamStore& store, Progress& progress, std::int64_t& maxId) {
  Key key;
  ReadFlat(ini, kExport, progress, [&](std::uint32_t i) {
    ExportProfile* p = Need(store.AppendProfile());
    ReadStruct(ini, kExport, key(i, u"Param"), p->Param);
    ReadStruct(ini, kExport, key(i, u"ID"), p->ID);
    ReadText(ini, kExport, key(i, u"Name"), p->Name);
    ReadText(ini, kExport, key(i, u"File"), p->File);
    ReadText(ini, kExport, key(i, u"Format"), p->Format);
    ReadText(ini, kExport, key(i, u"Folder"), p->Folder);
    ReadStruct(ini, kExport, key(i, u"SizeLimit"), p->SizeLimit);
    ReadStruct(ini, kExport, key(i, u"Codepage"), p->Codepage);
    ReadStruct(ini, kExport, key(i, u"StringLimit"), p->StringLimit);
    ReadStruct(ini, kExport, key(i, u"Translit"), p->Translit);
    ReadText(ini, kExport, key(i, u"Desc"), p->Desc);
    NoteId(maxId, p->ID);
  });
}

void ReadAll(const IniFile& ini, CParamStore& store, Progress& progress) {
  std::int64_t maxId = 0;
  ReadFilters(ini, store, progress, maxId);
  if (!progress.Cancelled()) ReadSchemas(ini, store, progress, maxId);
  if (!progress.Cancelled()) ReadProfiles(ini, store, progress, maxId);
  // A run that ended without writing "Seed" must not hand out an identifier again.
  RaiseSeed(store.context, maxId);
}

// Writes the live items of `items` into `section` as 0, 1, 2 ... (deleted ones leave no gap)
// through `write(item, k)`, then the count.
template <class Item, class Write>
void WriteSection(IniFile& ini, std::u16string_view section, std::span<Item> items,
                  Progress& progress, Write write) {
  std::uint32_t k = 0;
  auto steps = progress.Steps(items.size());
  ini.RemoveSection(section);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!IsDeleted(items[i])) write(items[i], k++);
    steps.At(i);
  }
  WriteStruct(ini, section, kCount, k);
}

// Writes never stop part-way: a half-written set of sections is never what the user wants,
// and the file is replaced only as a whole anyway.
void WriteAll(IniFile& ini, CParamStore& store, Progress& progress) {
  Key key;
  WriteSection(ini, kFilter, store.Filters(), progress, [&](const FilterArea& f, std::uint32_t k) {
    WriteStruct(ini, kFilter, key(k, u"Param"), f.Param);
    WriteStruct(ini, kFilter, key(k, u"ID"), f.ID);
    WriteText(ini, kFilter, key(k, u"Name"), f.Name);
    WriteStruct(ini, kFilter, key(k, u"AX"), f.AX);
    WriteStruct(ini, kFilter, key(k, u"AY"), f.AY);
    WriteStruct(ini, kFilter, key(k, u"CX"), f.CX);
    WriteStruct(ini, kFilter, key(k, u"CY"), f.CY);
  });

  progress.Begin(STR_STATUS_SAVING_PARAMS);
  WriteSection(ini, kSchema, store.Schemas(), progress, [&](SchemaSet& s, std::uint32_t k) {
    WriteStruct(ini, kSchema, key(k, u"Param"), s.Param);
    WriteStruct(ini, kSchema, key(k, u"ID"), s.ID);
    WriteText(ini, kSchema, key(k, u"Name"), s.Name);
    std::uint32_t m = 0;
    for (const SchemaEntry& e : CParamStore::Entries(s)) {
      if (IsDeleted(e)) continue;
      WriteStruct(ini, kSchema, key(k, m, u"ID"), e.ID);
      WriteStruct(ini, kSchema, key(k, m, u"Param"), e.Param);
      WriteStruct(ini, kSchema, key(k, m, u"Type"), e.Type);
      WriteText(ini, kSchema, key(k, m, u"Desc"), e.Desc);
      ++m;
    }
    WriteStruct(ini, kSchema, key(k, kCount), m);
  });

  progress.Begin(STR_STATUS_SAVING_PARAMS);
  WriteSection(ini, kExport, store.Profiles(), progress,
               [&](const ExportProfile& p, std::uint32_t k) {
                 WriteStruct(ini, kExport, key(k, u"Param"), p.Param);
                 WriteStruct(ini, kExport, key(k, u"ID"), p.ID);
                 WriteText(ini, kExport, key(k, u"Name"), p.Name);
                 WriteText(ini, kExport, key(k, u"File"), p.File);
                 WriteText(ini, kExport, key(k, u"Format"), p.Format);
                 WriteText(ini, kExport, key(k, u"Folder"), p.Folder);
                 WriteStruct(ini, kExport, key(k, u"SizeLimit"), p.SizeLimit);
                 WriteStruct(ini, kExport, key(k, u"Codepage"), p.Codepage);
                 WriteStruct(ini, kExport, key(k, u"StringLimit"), p.StringLimit);
                 WriteStruct(ini, kExport, key(k, u"Translit"), p.Translit);
                 WriteText(ini, kExport, key(k, u"Desc"), p.Desc);
               });
}

std::u16string Reason(int err) {
  return Utf8ToUtf16(platform::ErrorText(err));
}

// The failure as the user reads it: string `id` formatted with the arguments.
template <class... A>
ParamFileResult Failure(std::uint32_t id, const A&... args) {
  return {id, StrLoad(id, args...)};
}

}  // namespace

void ReadParamSections(const IniFile& ini, CParamStore& store, ParamProgress* to) {
  if (!store.data) return;
  Progress progress(to);
  ReadAll(ini, store, progress);
}

void WriteParamSections(IniFile& ini, CParamStore& store, ParamProgress* to) {
  if (!store.data) return;
  Progress progress(to);
  WriteAll(ini, store, progress);
}

ParamFileResult LoadParamFile(const std::u16string& path, CParamStore& store, ParamProgress* to) {
  if (!store.data) return {};
  Progress progress(to);
  progress.Begin(STR_STATUS_LOADING_PARAMS);
  ParamFileResult result;
  if (!progress.Cancelled()) {
    IniFile ini;
    // Without a settings path there is nothing to load; the save reports it.
    if (!path.empty() && !ini.Load(path)) {
      result = Failure(STR_FAIL_PARAMS_LOAD, path, Reason(ini.error()));
    } else if (!ini.existed() && store.context && store.context->defaultsInMemory) {
      AddDefaultParams(store);  // they could not be written at the start
    } else {
      ReadAll(ini, store, progress);
    }
  }
  // A store that does not hold the whole file must not be saved over it.
  store.data->stale = result.failure != 0 || progress.Cancelled();
  return result;
}

ParamFileResult SaveParamFile(const std::u16string& path, CParamStore& store, ParamProgress* to) {
  if (!store.data) return {};
  Progress progress(to);
  progress.Begin(STR_STATUS_SAVING_PARAMS);
  // The reload that follows brings back what the file holds.
  if (store.data->stale) return Failure(STR_FAIL_PARAMS_STALE, path);
  auto unsaved = [](ParamFileResult result) {
    result.unsaved = true;
    return result;
  };
  if (path.empty()) return unsaved(Failure(STR_FAIL_NO_SETTINGS_PATH));
  IniFile ini;
  // A file that exists but cannot be read is never overwritten: what it holds would be lost.
  // The three sections are rewritten whole, so they are not even kept while reading.
  const std::u16string_view rewritten[] = {kFilter, kSchema, kExport};
  if (!ini.Load(path, rewritten))
    return unsaved(Failure(STR_FAIL_PARAMS_SAVE, path, Reason(ini.error())));
  WriteAll(ini, store, progress);
  if (!ini.Save(path)) return unsaved(Failure(STR_FAIL_PARAMS_SAVE, path, Reason(ini.error())));
  return {};
}

}  // namespace tarvik
