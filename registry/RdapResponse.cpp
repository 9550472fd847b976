#include "registry/RdapResponse.h"

#include "registry/JsonDepth.h"
#include "registry/WhoisReply.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace registry {
namespace {

using Json = nlohmann::json;

// Real records nest a few levels; far deeper input is refused before it is parsed, so walking
// the result never recurses far.
constexpr int kDeepestNesting = 64;
constexpr int kDeepestEntity = 4;

// The date part of an RFC 3339 time ("2027-08-13T04:00:00Z" gives "2027-08-13").
std::string DateOf(const Json &value) {
    if (!value.is_string())
        return {};
    const std::string &text = value.get_ref<const std::string &>();
    if (text.size() < 10)
        return {};
    for (std::size_t i = 0; i < 10; ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? text[i] != '-' : (text[i] < '0' || text[i] > '9'))
            return {};
    }
    return text.substr(0, 10);
}

std::string EventDate(const Json &record, const char *action) {
    const auto events = record.find("events");
    if (events == record.end() || !events->is_array())
        return {};
    for (const auto &event : *events) {
        if (!event.is_object())
            continue;
        const auto name = event.find("eventAction");
        if (name != event.end() && *name == action)
            if (const auto date = event.find("eventDate"); date != event.end())
                return DateOf(*date);
    }
    return {};
}

bool HasRole(const Json &entity, const char *role) {
    const auto roles = entity.find("roles");
    return roles != entity.end() && roles->is_array() &&
           std::find(roles->begin(), roles->end(), role) != roles->end();
}

// The "fn" of a jCard: ["vcard", [["fn", {}, "text", "Name"], ...]].
std::string FullName(const Json &entity) {
    const auto card = entity.find("vcardArray");
    if (card == entity.end() || !card->is_array() || card->size() < 2 || !(*card)[1].is_array())
        return {};
    for (const auto &property : (*card)[1]) {
        if (property.is_array() && property.size() >= 4 && property[0] == "fn" &&
            property[3].is_string())
            return property[3].get<std::string>();
    }
    return {};
}

std::string RegistrarName(const Json &holder, int depth) {
    const auto entities = holder.find("entities");
    if (depth > kDeepestEntity || entities == holder.end() || !entities->is_array())
        return {};
    for (const auto &entity : *entities)
        if (entity.is_object() && HasRole(entity, "registrar"))
            return FullName(entity);
    for (const auto &entity : *entities)
        if (entity.is_object())
            if (std::string name = RegistrarName(entity, depth + 1); !name.empty())
                return name;
    return {};
}

// The body as JSON, refused before parsing when it nests deeper than any record.
Json ParseReply(std::string_view body) {
    if (JsonNestingDepth(body) > kDeepestNesting)
        throw ERdapFormatError("The RDAP reply is nested too deeply.");
    Json reply = Json::parse(body, nullptr, false);
    if (reply.is_discarded())
        throw ERdapFormatError("The RDAP reply is not JSON.");
    return reply;
}

constexpr std::size_t kMostStatusValues = 8;
constexpr std::size_t kLongestStatusValue = 48;

bool IsPrintableAscii(const std::string &text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// RFC 8056 values are words with spaces ("client hold"); anything else a server sends is kept
// when it is short printable text.
std::vector<std::string> StatusOf(const Json &record) {
    std::vector<std::string> status;
    const auto values = record.find("status");
    if (values == record.end() || !values->is_array())
        return status;
    for (const auto &value : *values) {
        if (!value.is_string() || status.size() >= kMostStatusValues)
            continue;
        const std::string &text = value.get_ref<const std::string &>();
        if (text.empty() || text.size() > kLongestStatusValue || !IsPrintableAscii(text) ||
            std::find(status.begin(), status.end(), text) != status.end())
            continue;
        status.push_back(text);
    }
    return status;
}

std::string TextOf(const Json &object, const char *key) {
    const auto value = object.find(key);
    return value != object.end() && value->is_string() ? value->get<std::string>() : std::string();
}

} // namespace

RdapDomainRecord ReadRdapDomain(std::string_view body) {
    const Json record = ParseReply(body);
    const auto objectClass = record.is_object() ? record.find("objectClassName") : record.end();
    if (!record.is_object() || objectClass == record.end() || *objectClass != "domain")
        throw ERdapFormatError("The reply is not an RDAP domain record.");
    return {EventDate(record, "registration"), EventDate(record, "expiration"),
            RegistrarName(record, 0), TextOf(record, "ldhName"), StatusOf(record)};
}

bool IsRdapNotFoundError(std::string_view body) {
    try {
        const Json reply = ParseReply(body);
        if (!reply.is_object() || reply.contains("objectClassName") || reply.contains("ldhName"))
            return false;
        const auto code = reply.find("errorCode");
        return code != reply.end() && code->is_number_integer() && *code == 404;
    } catch (const ERdapFormatError &) {
        return false;
    }
}

std::string RdapErrorReservation(std::string_view body) {
    Json reply;
    try {
        reply = ParseReply(body);
    } catch (const ERdapFormatError &) {
        return {};
    }
    if (!reply.is_object() || reply.contains("objectClassName"))
        return {};
    // The error's own words only: notices and remarks carry terms of use ("All rights
    // reserved") that say nothing of the name.
    std::string words = TextOf(reply, "title");
    if (const auto description = reply.find("description");
        description != reply.end() && description->is_array())
        for (const auto &line : *description)
            if (line.is_string()) {
                words += '\n';
                words += line.get_ref<const std::string &>();
            }
    if (HoldsPhrase(words, "blocked"))
        return "blocked";
    if (HoldsPhrase(words, "reserved") || HoldsPhrase(words, "not available for registration"))
        return "reserved";
    return {};
}

} // namespace registry
