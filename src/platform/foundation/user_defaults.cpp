#include "platform/foundation/user_defaults.h"

#include <cstdlib>
#include <string>
#include <utility>

#include "platform/foundation/canonical_text.h"
#include "platform/foundation/in_double_quotes.h"
#include "platform/foundation/preferences_location.h"
#include "platform/foundation/suite_registry.h"
#include "platform/foundation/suite_value_coding.h"

namespace foundation {
namespace {

namespace fs = std::filesystem;
using suite::Connection;
using suite::Encoded;
using suite::Statements;
using suite::StatementUse;

// A file name may have 255 bytes; the longest we make is "<name>.sqlite-journal".
constexpr std::size_t kMaxSuiteNameLength = 240;
constexpr std::size_t kMaxKeyBytes = 1024;
// A value read is remembered up to this size: past it, the copy given back on each read
// costs more than reading it again, and would stay in memory.
constexpr int kMaxRememberedBytes = 64 * 1024;

std::optional<std::string> keyProblem(std::string_view key) {
  if (key.size() > kMaxKeyBytes) {
    return "the key is " + std::to_string(key.size()) + " bytes long, more than " + std::to_string(kMaxKeyBytes);
  }
  if (!isValidUTF8(key)) return std::string("the key is not valid UTF-8");
  return std::nullopt;
}

bool isValidSuiteName(std::string_view name) {
  if (name.empty() || name.size() > kMaxSuiteNameLength) return false;
  if (name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

DefaultsError errorFor(DefaultsError::Code code, const std::string& suite, std::string_view key,
                       const std::string& reason) {
  return DefaultsError{code, "suite " + inDoubleQuotes(suite) + ", key " + inDoubleQuotes(key) + ": " + reason};
}

// Why a write cannot even be tried on `connection`, or none; the caller holds its mutex
// and gets the live statements through `live`.
std::optional<std::string_view> unwritable(Connection& connection, Statements*& live) {
  // A commit moves the suite's change mark anyway; a write that fails or is still in a
  // transaction leaves nothing remembered that it may have touched.
  connection.forgetReads();
  live = connection.live();
  if (live == nullptr) return suite::kRetiredMessage;
  if (connection.readOnly()) return suite::kReadOnlyMessage;
  return std::nullopt;
}

// Checks and encodes a value for writing under `key`.
std::expected<Encoded, DefaultsError> prepareWrite(const PropertyValue& value, std::string_view key,
                                                   const std::string& suite) {
  if (auto problem = keyProblem(key)) {
    return std::unexpected(errorFor(DefaultsError::Code::invalidKey, suite, key, *problem));
  }
  auto encoded = suite::encode(value);
  if (!encoded) {
    return std::unexpected(
        errorFor(DefaultsError::Code::unsupportedValue, suite, key,
                 "cannot store the " + std::string(kindName(value.kind())) + " value: " + encoded.error()));
  }
  if (encoded->storedBytes() > UserDefaults::kMaxValueBytes) {
    return std::unexpected(errorFor(DefaultsError::Code::valueTooLarge, suite, key,
                                    "the value takes " + std::to_string(encoded->storedBytes()) +
                                        " bytes, more than the limit of " +
                                        std::to_string(UserDefaults::kMaxValueBytes)));
  }
  return std::move(*encoded);
}

// A failed statement: the reason `what` with SQLite's message, after the open
// transaction (if any) is rolled back. The caller holds the connection's mutex.
DefaultsError storageFailure(Connection& connection, std::string_view key, std::string_view what) {
  const std::string reason = std::string(what) + ": " + connection.message();
  connection.rollBackIfOpen();
  return errorFor(DefaultsError::Code::storageFailed, connection.suiteName(), key, reason);
}

// Checks and encodes `value` for `key`, then calls `write(live, encoded)` with the
// connection's mutex held; fails without calling it when the value cannot be stored
// or the connection is retired.
template <typename Result, typename Write>
std::expected<Result, DefaultsError> writing(Connection& connection, const PropertyValue& value, std::string_view key,
                                             Write write) {
  auto encoded = prepareWrite(value, key, connection.suiteName());
  if (!encoded) return std::unexpected(std::move(encoded.error()));
  const std::lock_guard lock(connection.mutex);
  Statements* live = nullptr;
  if (auto reason = unwritable(connection, live)) {
    return std::unexpected(
        errorFor(DefaultsError::Code::storageFailed, connection.suiteName(), key, std::string(*reason)));
  }
  return write(*live, *encoded);
}

// The value of a row that the select statement stepped onto, or none when it does not
// hold a value of its kind or holds more bytes than a value may have: such a value is
// unusable, and reads as none.
std::optional<PropertyValue> usableValue(sqlite3_stmt* select) {
  const int type = sqlite3_column_type(select, 1);
  if ((type == SQLITE_TEXT || type == SQLITE_BLOB) &&
      static_cast<std::size_t>(sqlite3_column_bytes(select, 1)) > UserDefaults::kMaxValueBytes) {
    return std::nullopt;
  }
  return suite::decodeRow(select, 0, 1);
}

// Whether what was read is what the caller expects, comparing stored forms.
bool isExpected(const std::optional<PropertyValue>& current, const std::optional<PropertyValue>& expected) {
  if (!current || !expected) return !current && !expected;
  return suite::sameStoredForm(*current, *expected);
}

// Writes one row through a live connection's statements; the caller holds its mutex.
int writeRow(Statements& live, std::string_view key, PropertyKind kind, const Encoded& value) {
  const StatementUse use(live.upsert);
  int rc = suite::bindText(use.get(), 1, key);
  if (rc == SQLITE_OK) rc = suite::bindText(use.get(), 2, kindName(kind));
  if (rc == SQLITE_OK) rc = suite::bindEncoded(use.get(), 3, value);
  if (rc == SQLITE_OK) rc = sqlite3_step(use.get());
  return rc == SQLITE_DONE ? SQLITE_OK : (rc == SQLITE_OK ? SQLITE_ERROR : rc);
}

// The write of setIfUnchanged(), in one IMMEDIATE transaction: `encoded` goes in
// under `key` only when the stored value is `expected`. The caller holds the mutex.
std::expected<bool, DefaultsError> compareAndWrite(Connection& connection, Statements& live, std::string_view key,
                                                   PropertyKind kind, const Encoded& encoded,
                                                   const std::optional<PropertyValue>& expected) {
  const auto fail = [&](std::string_view what) { return std::unexpected(storageFailure(connection, key, what)); };

  // IMMEDIATE takes the write lock up front, so no other writer slips in between the
  // read and the write (and no deadlock arises from upgrading a read lock).
  {
    const StatementUse use(live.begin);
    if (sqlite3_step(use.get()) != SQLITE_DONE) return fail("could not start a transaction");
  }
  std::optional<PropertyValue> current;
  {
    const StatementUse use(live.select);
    const int rc = suite::bindText(use.get(), 1, key) == SQLITE_OK ? sqlite3_step(use.get()) : SQLITE_ERROR;
    if (rc == SQLITE_ROW) {
      // An unusable row reads as none here, as it does through object().
      current = usableValue(use.get());
    } else if (rc != SQLITE_DONE) {
      return fail("could not read the current value");
    }
  }
  if (!isExpected(current, expected)) {
    connection.rollBackIfOpen();
    return false;
  }
  if (writeRow(live, key, kind, encoded) != SQLITE_OK) return fail("could not write the value");
  {
    const StatementUse use(live.commit);
    if (sqlite3_step(use.get()) != SQLITE_DONE) return fail("could not commit the value");
  }
  return true;
}

}  // namespace

UserDefaults::UserDefaults(std::shared_ptr<Connection> connection) : connection_(std::move(connection)) {}

const std::string& UserDefaults::suiteName() const { return connection_->suiteName(); }

fs::path UserDefaults::preferencesFolder() { return fs::path(preferencesFolderText()); }

fs::path UserDefaults::suitePath(std::string_view suiteName) {
  return preferencesFolder() / (std::string(suiteName) + std::string(kSuiteFileExtension));
}

std::optional<UserDefaults> UserDefaults::make(std::string_view suiteName) {
  auto opened = open(suiteName);
  if (!opened) return std::nullopt;
  return std::move(*opened);
}

std::optional<UserDefaults> UserDefaults::make(std::string_view suiteName, const fs::path& folder) {
  auto opened = openInFolder(suiteName, folder.native());
  if (!opened) return std::nullopt;
  return std::move(*opened);
}

std::expected<UserDefaults, SuiteOpenFailure> UserDefaults::open(std::string_view suiteName) {
  // The folder the environment names, the common case, is compared without a copy.
  if (const char* folder = std::getenv(kPreferencesVariable); folder && *folder) {
    return openInFolder(suiteName, folder);
  }
  return openInFolder(suiteName, preferencesFolderText());
}

std::expected<UserDefaults, SuiteOpenFailure> UserDefaults::openInFolder(std::string_view suiteName,
                                                                         std::string_view folder) {
  if (!isValidSuiteName(suiteName) || folder.empty()) return std::unexpected(SuiteOpenFailure::cannotCreate);
  auto connection = suite::connectionFor(suiteName, folder);
  if (!connection) return std::unexpected(connection.error());
  return UserDefaults(std::move(*connection));
}

// Every method below holds the connection's mutex and reaches the statements only
// through live(), which gives none once the connection is retired.

std::optional<PropertyValue> UserDefaults::object(std::string_view key) const {
  if (keyProblem(key)) return std::nullopt;
  Connection& connection = *connection_;
  const std::lock_guard lock(connection.mutex);
  Statements* live = connection.live();
  if (live == nullptr) return std::nullopt;
  // Taken before the read: a commit after it moves the mark, so that what is read now
  // is remembered for a mark that is already gone, and read again next time.
  const auto mark = connection.changeMark();
  if (mark) {
    if (const auto* kept = connection.remembered(key, *mark)) return *kept;
  }
  const StatementUse use(live->select);
  const int rc = suite::bindText(use.get(), 1, key) == SQLITE_OK ? sqlite3_step(use.get()) : SQLITE_ERROR;
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return std::nullopt;  // a failed read is not remembered
  auto result = rc == SQLITE_ROW ? usableValue(use.get()) : std::nullopt;
  if (mark && (rc == SQLITE_DONE || sqlite3_column_bytes(use.get(), 1) <= kMaxRememberedBytes)) {
    connection.remember(key, result, *mark);
  }
  return result;
}

std::expected<void, DefaultsError> UserDefaults::set(const PropertyValue& value, std::string_view key) {
  Connection& connection = *connection_;
  return writing<void>(connection, value, key,
                       [&](Statements& live, const Encoded& encoded) -> std::expected<void, DefaultsError> {
                         if (writeRow(live, key, value.kind(), encoded) == SQLITE_OK) return {};
                         return std::unexpected(storageFailure(connection, key, "could not write the value"));
                       });
}

std::expected<bool, DefaultsError> UserDefaults::setIfUnchanged(const PropertyValue& value, std::string_view key,
                                                                const std::optional<PropertyValue>& expected) {
  Connection& connection = *connection_;
  return writing<bool>(connection, value, key, [&](Statements& live, const Encoded& encoded) {
    return compareAndWrite(connection, live, key, value.kind(), encoded, expected);
  });
}

std::expected<void, DefaultsError> UserDefaults::removeObject(std::string_view key) {
  Connection& connection = *connection_;
  if (auto problem = keyProblem(key)) {
    return std::unexpected(errorFor(DefaultsError::Code::invalidKey, connection.suiteName(), key, *problem));
  }
  const std::lock_guard lock(connection.mutex);
  Statements* live = nullptr;
  if (auto reason = unwritable(connection, live)) {
    return std::unexpected(
        errorFor(DefaultsError::Code::storageFailed, connection.suiteName(), key, std::string(*reason)));
  }
  const StatementUse use(live->remove);
  if (suite::bindText(use.get(), 1, key) != SQLITE_OK || sqlite3_step(use.get()) != SQLITE_DONE) {
    return std::unexpected(storageFailure(connection, key, "could not remove the value"));
  }
  return {};
}

std::expected<void, DefaultsError> UserDefaults::removeAll() {
  Connection& connection = *connection_;
  const std::lock_guard lock(connection.mutex);
  Statements* live = nullptr;
  const auto unwritableBecause = unwritable(connection, live);
  const auto fail = [&] {
    const std::string reason = "suite " + inDoubleQuotes(connection.suiteName()) + ": could not remove all keys: " +
                               (unwritableBecause ? std::string(*unwritableBecause) : connection.message());
    connection.rollBackIfOpen();
    return std::unexpected(DefaultsError{DefaultsError::Code::storageFailed, reason});
  };
  if (unwritableBecause) return fail();
  const StatementUse use(live->removeAll);
  if (sqlite3_step(use.get()) != SQLITE_DONE) return fail();
  return {};
}

std::vector<std::string> UserDefaults::keys() const {
  Connection& connection = *connection_;
  const std::lock_guard lock(connection.mutex);
  Statements* live = connection.live();
  if (live == nullptr) return {};
  const StatementUse use(live->keys);
  std::vector<std::string> result;
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(use.get())) == SQLITE_ROW) {
    const void* text = sqlite3_column_blob(use.get(), 0);
    const int length = sqlite3_column_bytes(use.get(), 0);
    result.emplace_back(text == nullptr
                            ? std::string()
                            : std::string(static_cast<const char*>(text), static_cast<std::size_t>(length)));
  }
  if (rc != SQLITE_DONE) return {};  // a failed read lists nothing rather than a part
  return result;
}

}  // namespace foundation
