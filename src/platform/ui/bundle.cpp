#include "platform/ui/bundle.h"

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <system_error>
#include <utility>

#include "platform/foundation/read_file.h"

namespace ui {

using TableResult = std::expected<std::shared_ptr<const StringsTable>, StringsError>;

// Orders (table, language) keys, and finds one by a pair of views without making strings.
struct TableKeyLess {
  using is_transparent = void;
  template <typename A, typename B>
  bool operator()(const A& a, const B& b) const {
    return std::pair<std::string_view, std::string_view>(a.first, a.second) <
           std::pair<std::string_view, std::string_view>(b.first, b.second);
  }
};

struct Bundle::Cache {
  explicit Cache(std::filesystem::path folderIn) : folder(std::move(folderIn)) {}

  const std::filesystem::path folder;
  std::mutex mutex;
  // The languages the bundle holds (its "<language>.lproj" folders), listed once. Only
  // their tables are cached, so asking for languages the bundle does not have cannot
  // make the cache grow.
  std::optional<std::set<std::string, std::less<>>> languages;
  // Read tables by (table, language); an entry is never removed or replaced, so a
  // table stays at its address for the life of the cache.
  std::map<std::pair<std::string, std::string>, TableResult, TableKeyLess> tables;

  // The tables that localizedString() searches for the last (table, language) it was
  // asked, in order: nearly every lookup asks for the same pair as the one before.
  struct SearchPath {
    std::string tableName;
    std::string language;
    std::array<const StringsTable*, 4> tables{};
    std::size_t count = 0;
    bool known = false;
  };
  SearchPath last;

  // The table `tableName` of `language`, read on first use; null for a language the
  // bundle does not have. The caller holds `mutex` and has checked both names.
  const TableResult* tableLocked(std::string_view tableName, std::string_view language);
};

namespace {

bool isLanguageName(std::string_view language) {
  if (language.empty() || language.size() > 64) return false;
  for (char c : language) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool isFileName(std::string_view name) {
  return !name.empty() && name.size() <= 200 && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

TableResult readTable(const std::filesystem::path& file) {
  std::error_code error;
  const auto status = std::filesystem::status(file, error);
  if (!std::filesystem::exists(status)) return std::shared_ptr<const StringsTable>();
  const std::string name = file.string();
  if (!std::filesystem::is_regular_file(status)) {
    return std::unexpected(StringsError{name + ": not a regular file"});
  }
  const auto size = std::filesystem::file_size(file, error);
  if (error) return std::unexpected(StringsError{name + ": cannot read size: " + error.message()});
  if (size > Bundle::kMaxTableBytes) {
    return std::unexpected(StringsError{name + ": " + std::to_string(size) +
                                        " bytes, more than a string table may hold (" +
                                        std::to_string(Bundle::kMaxTableBytes) + ")"});
  }
  const auto contents = foundation::readFilePrefix(file, static_cast<std::size_t>(size));
  if (!contents) return std::unexpected(StringsError{name + ": cannot be read: " + contents.error().message()});
  if (contents->size() != size) {
    return std::unexpected(StringsError{name + ": cannot be read: it became shorter while it was read"});
  }
  auto table = StringsTable::parse(*contents, name);
  if (!table) return std::unexpected(std::move(table.error()));
  return std::make_shared<const StringsTable>(std::move(*table));
}

std::set<std::string, std::less<>> languagesIn(const std::filesystem::path& resources) {
  std::set<std::string, std::less<>> languages;
  std::error_code error;
  for (std::filesystem::directory_iterator it(resources, error), end; !error && it != end; it.increment(error)) {
    const auto& path = it->path();
    if (path.extension() == ".lproj" && isLanguageName(path.stem().string())) languages.insert(path.stem().string());
  }
  return languages;
}

std::filesystem::path executableFolder() {
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return executable.parent_path();
}

}  // namespace

Bundle::Bundle(std::filesystem::path folder) : cache_(std::make_shared<Cache>(std::move(folder))) {}

const std::filesystem::path& Bundle::path() const { return cache_->folder; }

const Bundle& Bundle::main() {
  static const Bundle bundle(executableFolder());
  return bundle;
}

std::optional<std::filesystem::path> Bundle::pathForImage(std::string_view name) const {
  if (cache_->folder.empty() || !isFileName(name)) return std::nullopt;
  auto file = cache_->folder / "Resources" / (std::string(name) + ".png");
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  return file;
}

const TableResult* Bundle::Cache::tableLocked(std::string_view tableName, std::string_view language) {
  if (!languages) languages = languagesIn(folder / "Resources");
  if (!languages->contains(language)) return nullptr;
  if (auto it = tables.find(std::pair(tableName, language)); it != tables.end()) return &it->second;
  const auto file = folder / "Resources" / (std::string(language) + ".lproj") / (std::string(tableName) + ".strings");
  return &tables.emplace(std::pair(std::string(tableName), std::string(language)), readTable(file)).first->second;
}

TableResult Bundle::stringsTable(std::string_view tableName, std::string_view language) const {
  if (cache_->folder.empty() || !isFileName(tableName) || !isLanguageName(language)) {
    return std::shared_ptr<const StringsTable>();
  }
  const std::lock_guard lock(cache_->mutex);
  const TableResult* table = cache_->tableLocked(tableName, language);
  return table ? *table : std::shared_ptr<const StringsTable>();
}

Bundle::LanguageOrder Bundle::searchOrder(std::string_view language) {
  LanguageOrder order;
  const auto add = [&](std::string_view name) {
    if (name.empty()) return;
    for (const auto present : order) {
      if (present == name) return;
    }
    order.names[order.count++] = name;
  };
  add(language);
  add(language.substr(0, language.find_first_of("-_")));
  add("en");
  add("Base");
  return order;
}

std::string Bundle::localizedString(std::string_view key, std::string_view language, std::string_view tableName) const {
  if (cache_->folder.empty()) return std::string(key);
  const std::lock_guard lock(cache_->mutex);
  Cache::SearchPath& path = cache_->last;
  if (!path.known || path.tableName != tableName || path.language != language) {
    path.known = false;
    if (!isFileName(tableName)) return std::string(key);
    path.count = 0;
    for (const auto& candidate : searchOrder(language)) {
      if (!isLanguageName(candidate)) continue;
      const TableResult* table = cache_->tableLocked(tableName, candidate);
      if (table != nullptr && *table && **table) path.tables[path.count++] = table->value().get();
    }
    path.tableName = tableName;
    path.language = language;
    path.known = true;
  }
  for (const StringsTable* table : std::span(path.tables.data(), path.count)) {
    if (auto value = table->find(key)) return std::string(*value);
  }
  return std::string(key);
}

}  // namespace ui
