// The error codes of the widget host protocol (docs/protocol.md), the one place they
// are spelled: the extension answers with them and the host tells failures apart by
// them. The first five are JSON-RPC 2.0's own; -32001 is the protocol's.
#pragma once

namespace widgetkit {

inline constexpr int kParseError = -32700;         // the line is not JSON
inline constexpr int kInvalidRequest = -32600;     // not a JSON-RPC 2.0 request, or a line over the limit
inline constexpr int kMethodNotFound = -32601;     // an unknown method
inline constexpr int kInvalidParams = -32602;      // a missing, mistyped or unknown param value
inline constexpr int kInternalError = -32603;      // a provider that did not complete, or no memory
inline constexpr int kUndecodableRecord = -32001;  // coded attributes or state that do not decode

}  // namespace widgetkit
