#include "platform/ui/bundle.h"

#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

namespace ui {

using TableResult = std::expected<std::shared_ptr<const StringsTable>, StringsError>;

struct Bundle::Cache {
  std::mutex mutex;
  // The languages the bundle holds (its "<language>.lproj" folders), listed once. Only
  // their tables are cached, so asking for languages the bundle does not have cannot
  // make the cache grow.
  std::optional<std::set<std::string, std::less<>>> languages;
  std::map<std::pair<std::string, std::string>, TableResult, std::less<>> tables;
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
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::unexpected(StringsError{name + ": cannot be opened"});
  std::string contents(static_cast<std::size_t>(size), '\0');
  in.read(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (static_cast<std::uintmax_t>(in.gcount()) != size) {
    return std::unexpected(StringsError{name + ": cannot be read"});
  }
  auto table = StringsTable::parse(contents, name);
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

Bundle::Bundle(std::filesystem::path folder) : folder_(std::move(folder)), cache_(std::make_shared<Cache>()) {}

const Bundle& Bundle::main() {
  static const Bundle bundle(executableFolder());
  return bundle;
}

std::optional<std::filesystem::path> Bundle::pathForImage(std::string_view name) const {
  if (folder_.empty() || !isFileName(name)) return std::nullopt;
  auto file = folder_ / "Resources" / (std::string(name) + ".png");
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  return file;
}

TableResult Bundle::stringsTable(std::string_view tableName, std::string_view language) const {
  if (folder_.empty() || !isFileName(tableName) || !isLanguageName(language)) {
    return std::shared_ptr<const StringsTable>();
  }
  std::lock_guard lock(cache_->mutex);
  if (!cache_->languages) cache_->languages = languagesIn(folder_ / "Resources");
  if (!cache_->languages->contains(language)) return std::shared_ptr<const StringsTable>();
  auto key = std::make_pair(std::string(tableName), std::string(language));
  if (auto it = cache_->tables.find(key); it != cache_->tables.end()) return it->second;
  const auto file = folder_ / "Resources" / (std::string(language) + ".lproj") / (std::string(tableName) + ".strings");
  return cache_->tables.emplace(std::move(key), readTable(file)).first->second;
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
  for (const auto& candidate : searchOrder(language)) {
    const auto table = stringsTable(tableName, candidate);
    if (!table || !*table) continue;
    if (auto value = (*table)->find(key)) return std::string(*value);
  }
  return std::string(key);
}

}  // namespace ui
