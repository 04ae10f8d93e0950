#include "platform/widgetkit/widget_host_server.h"

#include <simdjson.h>

#include <algorithm>
#include <cmath>

#include "platform/foundation/data.h"
#include "platform/foundation/host_notes.h"
#include "platform/foundation/json_text_writer.h"
#include "platform/ui/localizer.h"
#include "platform/ui/tree_json.h"
#include "platform/widgetkit/protocol_error_codes.h"

namespace widgetkit {

namespace {

using foundation::JSONTextWriter;
using simdjson::dom::element;

std::expected<TimelineProviderContext, RpcError> readContext(const RpcParams& params, WidgetFamily family) {
  TimelineProviderContext context;
  context.family = family;
  const auto value = params.member("context");
  if (!value) return context;
  simdjson::dom::object object;
  if (value->get_object().get(object) != simdjson::SUCCESS) {
    return std::unexpected(RpcError{kInvalidParams, "param \"context\" must be an object"});
  }
  element member;
  if (object.at_key("displaySize").get(member) == simdjson::SUCCESS) {
    double width = 0;
    double height = 0;
    if (member["width"].get_double().get(width) != simdjson::SUCCESS ||
        member["height"].get_double().get(height) != simdjson::SUCCESS || width < 0 || height < 0) {
      return std::unexpected(
          RpcError{kInvalidParams, "param \"context.displaySize\" must be {\"width\": number, \"height\": number}"});
    }
    context.displaySize = {width, height};
  }
  if (object.at_key("isPreview").get(member) == simdjson::SUCCESS &&
      member.get_bool().get(context.isPreview) != simdjson::SUCCESS) {
    return std::unexpected(RpcError{kInvalidParams, "param \"context.isPreview\" must be true or false"});
  }
  if (object.at_key("locale").get(member) == simdjson::SUCCESS) {
    std::string_view locale;
    if (member.get_string().get(locale) != simdjson::SUCCESS) {
      return std::unexpected(RpcError{kInvalidParams, "param \"context.locale\" must be a string"});
    }
    context.locale = std::string(locale);
  }
  return context;
}

void writeEntry(JSONTextWriter& out, const RenderedEntry& entry, const ui::Localizer& localizer) {
  out.beginObject();
  out.plainMember("date", entry.date.iso8601());
  out.key("view");
  ui::writeJSON(out, entry.view, localizer);
  out.endObject();
}

void writeFamilies(JSONTextWriter& out, const std::vector<WidgetFamily>& families) {
  out.beginArray();
  for (WidgetFamily family : families) out.string(familyName(family));
  out.endArray();
}

// Whole numbers as integers ("priority": 0), others as they are.
void writeNumber(JSONTextWriter& out, double value) {
  if (std::trunc(value) == value && std::abs(value) < 9.0e15) {
    out.integer(static_cast<std::int64_t>(value));
  } else {
    out.number(value);
  }
}

// Writes one presentation's object; with `open`, leaves it open for more members.
void writePresentation(JSONTextWriter& out, const RenderedPresentation& presentation, const ui::Localizer& localizer,
                       bool open = false) {
  out.beginObject();
  out.member("presentation", ui::name(presentation.presentation));
  if (presentation.presentation == ActivityPresentation::islandExpanded) {
    out.key("regions");
    out.beginArray();
    for (const auto& region : presentation.regions) {
      out.beginObject();
      out.member("position", ui::name(region.position));
      out.key("priority");
      writeNumber(out, region.priority);
      out.key("view");
      ui::writeJSON(out, region.view, localizer);
      out.endObject();
    }
    out.endArray();
  } else if (presentation.view) {
    out.key("view");
    ui::writeJSON(out, *presentation.view, localizer);
  }
  if (!open) out.endObject();
}

// Writes the result of one request into `out`, or returns the error to answer with
// (what it wrote by then is dropped).
class RequestHandler {
 public:
  RequestHandler(const std::vector<AnyWidget>& widgets, const ui::Bundle& resources, JSONTextWriter& out)
      : widgets_(widgets), resources_(resources), out_(out) {}

  std::expected<void, RpcError> dispatch(std::string_view method, const RpcParams& params) const {
    if (method == "widgets") return describe(params);
    if (method == "placeholder" || method == "snapshot" || method == "timeline") return entries(method, params);
    if (method == "activity") return activity(params);
    return std::unexpected(RpcError{kMethodNotFound, "unknown method " + quoted(method)});
  }

 private:
  ui::Localizer localizer(std::string_view locale) const { return ui::Localizer{resources_, std::string(locale)}; }

  std::expected<void, RpcError> describe(const RpcParams& params) const {
    auto locale = params.string("locale");
    if (!locale) return std::unexpected(locale.error());
    const auto texts = localizer(locale->value_or("en"));
    out_.beginObject();
    out_.key("widgets");
    out_.beginArray();
    for (const auto& widget : widgets_) {
      out_.beginObject();
      if (const auto* s = std::get_if<StaticWidget>(&widget)) {
        out_.member("type", "static");
        out_.member("kind", s->kind);
        out_.key("displayName");
        writeText(s->displayName, texts);
        out_.key("description");
        writeText(s->description, texts);
        out_.key("families");
        writeFamilies(out_, s->families);
      } else if (const auto* a = std::get_if<ActivityWidget>(&widget)) {
        out_.member("type", "activity");
        out_.member("attributesType", a->attributesType);
      }
      out_.endObject();
    }
    out_.endArray();
    out_.endObject();
    return {};
  }

  std::expected<void, RpcError> entries(std::string_view method, const RpcParams& params) const {
    auto kind = params.requiredString("kind");
    if (!kind) return std::unexpected(kind.error());
    const StaticWidget* widget = nullptr;
    for (const auto& candidate : widgets_) {
      if (const auto* s = std::get_if<StaticWidget>(&candidate); s && s->kind == *kind) widget = s;
    }
    if (!widget) return std::unexpected(RpcError{kInvalidParams, "unknown widget kind " + quoted(*kind)});
    auto familyText = params.string("family");
    if (!familyText) return std::unexpected(familyText.error());
    const std::string_view familyName = familyText->value_or("systemSmall");
    const auto family = familyFromName(familyName);
    if (!family) return std::unexpected(RpcError{kInvalidParams, "unknown family " + quoted(familyName)});
    if (std::find(widget->families.begin(), widget->families.end(), *family) == widget->families.end()) {
      JSONTextWriter data;
      data.beginObject();
      data.key("families");
      writeFamilies(data, widget->families);
      data.endObject();
      return std::unexpected(RpcError{kInvalidParams,
                                      "widget " + quoted(*kind) + " does not support family " + quoted(familyName),
                                      std::string(data.text())});
    }
    auto context = readContext(params, *family);
    if (!context) return std::unexpected(context.error());
    const auto texts = localizer(context->locale);
    if (method == "timeline") {
      (void)foundation::takeHostNotes();
      auto timeline = widget->timeline(*context);
      if (!timeline) return std::unexpected(RpcError{kInternalError, "the provider did not complete the timeline"});
      out_.beginObject();
      out_.member("kind", *kind);
      out_.member("family", familyName);
      out_.plainMember("policy", timeline->policy.name());
      if (timeline->policy.date()) out_.plainMember("policyDate", timeline->policy.date()->iso8601());
      out_.key("entries");
      out_.beginArray();
      for (const auto& entry : timeline->entries) writeEntry(out_, entry, texts);
      out_.endArray();
      if (const auto notes = foundation::takeHostNotes(); !notes.empty()) {
        out_.key("notes");
        out_.beginArray();
        for (const auto& note : notes) out_.string(note);
        out_.endArray();
      }
      out_.endObject();
      return {};
    }
    std::optional<RenderedEntry> entry =
        method == "placeholder" ? std::optional(widget->placeholder(*context)) : widget->snapshot(*context);
    if (!entry) return std::unexpected(RpcError{kInternalError, "the provider did not complete the snapshot"});
    out_.beginObject();
    out_.member("kind", *kind);
    out_.member("family", familyName);
    out_.key("entry");
    writeEntry(out_, *entry, texts);
    out_.endObject();
    return {};
  }

  std::expected<void, RpcError> activity(const RpcParams& params) const {
    auto type = params.string("attributesType");
    if (!type) return std::unexpected(type.error());
    const ActivityWidget* widget = nullptr;
    std::size_t activities = 0;
    for (const auto& candidate : widgets_) {
      if (const auto* a = std::get_if<ActivityWidget>(&candidate)) {
        ++activities;
        if (!*type || a->attributesType == **type) widget = a;
      }
    }
    if (*type && !widget) {
      return std::unexpected(RpcError{kInvalidParams, "unknown attributes type " + quoted(**type)});
    }
    if (!*type && activities != 1) {
      return std::unexpected(RpcError{
          kInvalidParams, activities == 0 ? "the bundle declares no activity" : "missing param \"attributesType\""});
    }
    auto attributes = bytesParam(params, "attributes");
    if (!attributes) return std::unexpected(attributes.error());
    auto state = bytesParam(params, "state");
    if (!state) return std::unexpected(state.error());
    auto which = params.string("presentation");
    if (!which) return std::unexpected(which.error());
    std::vector<ActivityPresentation> presentations;
    const std::string_view name = which->value_or("all");
    if (name == "all") {
      presentations.assign(std::begin(kAllActivityPresentations), std::end(kAllActivityPresentations));
    } else if (auto one = ui::byName<ui::Surface>(name); one && ui::isPresentation(*one)) {
      presentations.push_back(*one);
    } else {
      return std::unexpected(RpcError{kInvalidParams, "unknown presentation " + quoted(name)});
    }
    auto locale = params.string("locale");
    if (!locale) return std::unexpected(locale.error());
    auto isStale = flagParam(params, "isStale");
    if (!isStale) return std::unexpected(isStale.error());
    auto wantsSizes = flagParam(params, "encodedSizes");
    if (!wantsSizes) return std::unexpected(wantsSizes.error());
    const auto codedAttributes = foundation::stringView(*attributes);
    const auto codedState = foundation::stringView(*state);
    auto rendered = widget->present(codedAttributes, codedState, presentations, *isStale);
    if (!rendered) return std::unexpected(undecodable(rendered.error()));
    std::optional<EncodedSizes> sizes;
    if (*wantsSizes) {
      auto measured = widget->encodedSizes(codedAttributes, codedState);
      if (!measured) return std::unexpected(undecodable(measured.error()));
      sizes = *measured;
    }
    const auto texts = localizer(locale->value_or("en"));
    if (name != "all") {
      writePresentation(out_, rendered->front(), texts, true);
    } else {
      out_.beginObject();
      out_.key("presentations");
      out_.beginArray();
      for (const auto& presentation : *rendered) writePresentation(out_, presentation, texts);
      out_.endArray();
    }
    if (sizes) {
      out_.key("encodedSizes");
      out_.beginObject();
      out_.key("attributes");
      writeNumber(out_, static_cast<double>(sizes->attributes));
      out_.key("state");
      writeNumber(out_, static_cast<double>(sizes->state));
      out_.endObject();
    }
    out_.endObject();
    return {};
  }

  // An optional boolean param, false when absent.
  static std::expected<bool, RpcError> flagParam(const RpcParams& params, std::string_view key) {
    const auto member = params.member(key);
    if (!member) return false;
    bool value = false;
    if (member->get_bool().get(value) != simdjson::SUCCESS) {
      return std::unexpected(RpcError{kInvalidParams, "param " + quoted(key) + " must be true or false"});
    }
    return value;
  }

  void writeText(const std::optional<ui::LocalizedStringKey>& text, const ui::Localizer& texts) const {
    if (text) {
      out_.string(texts.resolve(*text));
    } else {
      out_.null();
    }
  }

  static RpcError undecodable(const ActivityDecodeFailure& failure) {
    JSONTextWriter data;
    data.beginObject();
    data.member("record", failure.record);
    data.member("kind", foundation::kindName(failure.error.kind));
    data.key("codingPath");
    data.beginArray();
    for (const auto& key : failure.error.codingPath) data.string(key);
    data.endArray();
    data.member("reason", failure.error.debugDescription);
    data.endObject();
    return RpcError{kUndecodableRecord,
                    "the coded " + failure.record + (failure.record == "attributes" ? " do" : " does") +
                        " not decode: " + failure.error.description(),
                    std::string(data.text())};
  }

  static std::expected<foundation::Data, RpcError> bytesParam(const RpcParams& params, std::string_view name) {
    auto text = params.requiredString(name);
    if (!text) return std::unexpected(text.error());
    auto data = foundation::dataFromBase64(*text);
    if (!data) return std::unexpected(RpcError{kInvalidParams, "param " + quoted(name) + " is not base64"});
    return std::move(*data);
  }

  const std::vector<AnyWidget>& widgets_;
  const ui::Bundle& resources_;
  JSONTextWriter& out_;
};

}  // namespace

WidgetHostServer::WidgetHostServer(std::vector<AnyWidget> widgets, ui::Bundle resources)
    : widgets_(std::move(widgets)), resources_(std::move(resources)) {}

std::expected<void, RpcError> WidgetHostServer::call(std::string_view method, const RpcParams& params,
                                                     JSONTextWriter& out) const {
  return RequestHandler(widgets_, resources_, out).dispatch(method, params);
}

}  // namespace widgetkit
