// Schema: the view tree's vocabulary, declared once for every reader and writer of
// the tree (the JSON writer, the JSON reader, the outline).
//
// - Names<T> (names.h): the names of an enumeration's values, one table per
//   enumeration (`Names<ContentMode>::table`); the writers and the reader use it.
// - schema(std::type_identity<T>): for each node kind and modifier, its name and its
//   fields in JSON order. A field is a member (reached through one or more member
//   pointers), its JSON name, how the outline shows it, and how its value is formed.
//
// Adding a modifier: its struct and `schema()` in modifier.h, its call in
// view_modifiers.h, its layout. The forms of the tree follow from the schema.
#pragma once

#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>

#include "platform/foundation/json_text_writer.h"
#include "platform/ui/names.h"

namespace ui {

// How the outline shows a field: by its value alone, as `label: value`, as
// `label: value` unless it holds the call's default, or not at all.
enum class Show { positional, labelled, labelledUnlessDefault, hidden };

// How a field's value is formed in JSON, where its type alone does not say: an
// opacity (a number within 0...1), or the node's children (an array of views; a
// single view is a one-element array).
enum class Form { plain, opacity, children };

// No default value: every value is shown.
struct NoDefault {};

template <auto... Members>
struct Path {
  // The member the path leads to from `owner` (the owner itself for an empty path).
  template <typename Owner>
  static constexpr auto& in(Owner& owner) {
    if constexpr (sizeof...(Members) == 0) {
      return owner;
    } else {
      return step<Members...>(owner);
    }
  }

 private:
  template <auto First, auto... Rest, typename Owner>
  static constexpr auto& step(Owner& owner) {
    if constexpr (sizeof...(Rest) == 0) {
      return owner.*First;
    } else {
      return step<Rest...>(owner.*First);
    }
  }
};

template <typename PathType, typename Default = NoDefault>
struct Field {
  foundation::JSONTextWriter::Name json;
  Show show;
  Form form;
  Default defaultValue;

  template <typename Owner>
  static constexpr auto& of(Owner& owner) {
    return PathType::in(owner);
  }
  // Whether the outline leaves out `value`, the call's default.
  template <typename Value>
  constexpr bool isDefault(const Value& value) const {
    if constexpr (std::is_same_v<Default, NoDefault>) {
      return false;
    } else {
      return show == Show::labelledUnlessDefault && value == defaultValue;
    }
  }
};

// A field reached through `Members` (none: the owner itself, for a node that is a value).
template <auto... Members>
consteval auto field(foundation::JSONTextWriter::Name json, Show show, Form form = Form::plain) {
  return Field<Path<Members...>>{json, show, form, {}};
}
// A field labelled in the outline unless it equals `defaultValue`.
template <auto... Members, typename Default>
consteval auto labelledUnless(foundation::JSONTextWriter::Name json, Default defaultValue) {
  return Field<Path<Members...>, Default>{json, Show::labelledUnlessDefault, Form::plain, defaultValue};
}
// The children of a node, hidden in the node's own line (they follow it).
template <auto Member>
consteval auto children() {
  return Field<Path<Member>>{"children", Show::hidden, Form::children, {}};
}

template <typename... Fields>
struct Schema {
  std::string_view name;
  std::tuple<Fields...> fields;

  constexpr explicit Schema(std::string_view kindName, Fields... each) : name(kindName), fields(each...) {}

  // Calls `visit(field)` for each field in order while it returns true; whether all did.
  template <typename Visit>
  constexpr bool all(Visit&& visit) const {
    return std::apply([&](const auto&... each) { return (visit(each) && ...); }, fields);
  }
  template <typename Visit>
  constexpr void forEach(Visit&& visit) const {
    std::apply([&](const auto&... each) { (visit(each), ...); }, fields);
  }
};

// The schema of `T`, found next to T's declaration.
template <typename T>
constexpr auto schemaOf() {
  return schema(std::type_identity<T>{});
}

// Calls `visit(std::type_identity<Alternative>{})` for each alternative of `Variant`
// in order until one returns true; whether one did.
template <typename Variant, typename Visit>
constexpr bool anyAlternative(Visit&& visit) {
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    return (visit(std::type_identity<std::variant_alternative_t<I, Variant>>{}) || ...);
  }
  (std::make_index_sequence<std::variant_size_v<Variant>>{});
}

}  // namespace ui
