// The errors of keyed decoding and encoding, as the platform's JSON coder reports
// them: a kind, the coding path to the failing member, and a readable reason.
#pragma once

#include <string>
#include <vector>

namespace foundation {

struct DecodingError {
  enum class Kind {
    keyNotFound,    // a required member is missing
    valueNotFound,  // a required member is null
    typeMismatch,   // a member (or the document) holds the wrong kind of value
    dataCorrupted,  // not valid JSON, or a value out of range for its type
  };

  Kind kind;
  std::vector<std::string> codingPath;  // member names from the top, empty for the document
  std::string debugDescription;

  // One line: the kind, the path and the reason, e.g.
  //   keyNotFound at "id": no value for key "id"
  std::string description() const;
};

struct EncodingError {
  enum class Kind { invalidValue };
  Kind kind;
  std::vector<std::string> codingPath;
  std::string debugDescription;

  std::string description() const;
};

// "keyNotFound", "valueNotFound", "typeMismatch", "dataCorrupted".
const char* kindName(DecodingError::Kind kind);

}  // namespace foundation
