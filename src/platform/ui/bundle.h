// Bundle: a folder of resources on disk, the platform's `Bundle`. The extension's
// own bundle (`Bundle::main()`) is the folder that holds the running executable.
//
// Layout inside the bundle folder:
//   Resources/<language>.lproj/<table>.strings   string tables; the default table
//                                                 is "Localizable"
//   Resources/<name>.png                          image assets, by name
// Languages are names such as "en", "de", "pt-BR" or "Base" (letters, digits, '-',
// '_'); table and image names are plain file names (no '/', not "." or "..").
//
// Promises:
// - A string table is read and parsed once per bundle, on first use, and kept for the
//   life of the bundle: resources do not change while the process runs. A table that is
//   missing stays missing; one that cannot be read or parsed stays an error.
// - Copies of a bundle share that cache; every operation is safe from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/strings_table.h"

namespace ui {

class Bundle {
 public:
  static constexpr std::string_view kDefaultTable = "Localizable";
  // Files larger than this are refused rather than read.
  static constexpr std::uintmax_t kMaxTableBytes = std::uintmax_t{16} << 20;  // 16 MiB

  explicit Bundle(std::filesystem::path folder);

  // The folder holding the running executable (read from /proc/self/exe), found
  // once per process. When that cannot be read, a bundle that holds nothing.
  static const Bundle& main();

  const std::filesystem::path& path() const;

  // "<bundle>/Resources/<name>.png" when that file exists; none otherwise.
  std::optional<std::filesystem::path> pathForImage(std::string_view name) const;

  // The table `tableName` of `language`: null when the bundle has no such table (or
  // the names are not valid), an error when the file cannot be read or parsed.
  std::expected<std::shared_ptr<const StringsTable>, StringsError> stringsTable(std::string_view tableName,
                                                                                std::string_view language) const;

  // The languages searched for `language`, in order: the language itself, its base
  // language ("pt" for "pt-BR"), "en", then "Base", each once. The names are views
  // into `language` and into literals: nothing is allocated on the lookup path.
  struct LanguageOrder {
    std::array<std::string_view, 4> names{};
    std::size_t count = 0;
    const std::string_view* begin() const { return names.data(); }
    const std::string_view* end() const { return names.data() + count; }
  };
  static LanguageOrder searchOrder(std::string_view language);

  // The text stored under `key` in the first table along searchOrder(language) that has
  // an entry for it; the key itself when none has. Tables that cannot be read or parsed
  // count as missing here (stringsTable() reports why).
  std::string localizedString(std::string_view key, std::string_view language,
                              std::string_view tableName = kDefaultTable) const;

  // Two bundles are equal when they are the same folder.
  friend bool operator==(const Bundle& a, const Bundle& b) { return a.path() == b.path(); }

 private:
  // The folder and the cache of its tables, shared by every copy: copying a bundle,
  // which each request's localizer does, is one reference count.
  struct Cache;

  std::shared_ptr<Cache> cache_;
};

}  // namespace ui
