#include "GeminiWire.h"

#include "HttpHeaders.h"
#include "WireDecoding.h"

#include <QScopeGuard>

#include <limits>
#include <string_view>
#include <vector>

namespace GeminiWire {
namespace {

// String values at least this long that hold nothing but base64 characters are kept out of the JSON lexer.
constexpr std::size_t liftedLength = 64 * 1024;

struct Alphabet {
    bool plain[256] = {};
    constexpr Alphabet() {
        for (int c = 'A'; c <= 'Z'; ++c)
            plain[c] = true;
        for (int c = 'a'; c <= 'z'; ++c)
            plain[c] = true;
        for (int c = '0'; c <= '9'; ++c)
            plain[c] = true;
        plain[int('+')] = plain[int('/')] = plain[int('=')] = true;
    }
};
constexpr Alphabet alphabet;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The body with every long base64 string value replaced by "" and, for each, its place among the string
// values (document order) and its text. Such a value has no escapes, so its raw bytes are its value, and
// an empty string is the same token to the parser: the skeleton is valid exactly when the body is, and its
// tree is the body's with a stand-in for each lifted text. An inline picture's text is scanned once here
// instead of character by character in the lexer.
struct Skeleton {
    std::string text;
    struct Lifted {
        std::size_t ordinal;
        std::string_view value;
    };
    std::vector<Lifted> lifted;
};

Skeleton liftLongStrings(const char* data, std::size_t size) {
    Skeleton skeleton;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    const auto followedByColon = [&](std::size_t at) {
        while (at < size && isSpace(data[at]))
            ++at;
        return at < size && data[at] == ':';
    };
    std::size_t copiedUpTo = 0;
    std::size_t ordinal = 0;
    std::size_t i = 0;
    while (i < size) {
        if (data[i] != '"') {
            ++i;
            continue;
        }
        const std::size_t open = i;
        std::size_t j = open + 1;
        while (j < size && alphabet.plain[bytes[j]])
            ++j;
        if (j < size && data[j] == '"' && j - open - 1 >= liftedLength && !followedByColon(j + 1)) {
            skeleton.text.append(data + copiedUpTo, open - copiedUpTo);
            skeleton.text.append("\"\"");
            skeleton.lifted.push_back({ordinal++, std::string_view(data + open + 1, j - open - 1)});
            copiedUpTo = i = j + 1;
            continue;
        }
        while (j < size && data[j] != '"')
            j += data[j] == '\\' ? 2 : 1;
        if (j >= size)
            break; // unterminated: the parser reports it
        if (!followedByColon(j + 1))
            ++ordinal;
        i = j + 1;
    }
    if (skeleton.lifted.empty())
        return skeleton;
    skeleton.text.append(data + copiedUpTo, size - copiedUpTo);
    return skeleton;
}

// The texts of the placeholders in the tree being read on this thread.
thread_local const std::vector<Skeleton::Lifted>* liftedTexts = nullptr;

// Parses the skeleton, leaving in each lifted value's place a binary value numbered by the text it stands
// for. JSON text never yields a binary value, and a small one keeps the tree cheap to build (the ordered
// objects copy their members as they grow); the text is copied once, straight into the record.
Json parseBody(const Skeleton& skeleton, const char* data, std::size_t size) {
    if (skeleton.lifted.empty())
        return Json::parse(data, data + size);
    std::size_t ordinal = 0;
    std::size_t next = 0;
    const Json::parser_callback_t placeholders = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event != Json::parse_event_t::value || !parsed.is_string())
            return true;
        if (next < skeleton.lifted.size() && skeleton.lifted[next].ordinal == ordinal) {
            parsed = Json::binary({}, next);
            ++next;
        }
        ++ordinal;
        return true;
    };
    const std::string& text = skeleton.text;
    return Json::parse(text.data(), text.data() + text.size(), placeholders);
}

// Records are objects; anything else is the wrong type even when every field is optional.
void requireObject(const Json& j, const char* record) {
    if (!j.is_object())
        throw Json::type_error::create(302, std::string(record) + " must be an object, not " + j.type_name(), &j);
}

std::int64_t integerValue(const Json& j) {
    const auto number = WireDecoding::wholeNumber(j);
    if (!number)
        throw Json::type_error::create(302, std::string("expected a whole number, not ") + j.type_name(), &j);
    return *number;
}

double numberValue(const Json& j) {
    if (!j.is_number())
        throw Json::type_error::create(302, std::string("expected a number, not ") + j.type_name(), &j);
    return j.get<double>();
}

std::string stringValue(const Json& j) {
    if (j.is_binary() && liftedTexts && j.get_binary().has_subtype() && j.get_binary().subtype() < liftedTexts->size())
        return std::string((*liftedTexts)[j.get_binary().subtype()].value);
    return j.get<std::string>();
}

template <class T> T valueOf(const Json& j) {
    if constexpr (std::is_same_v<T, std::int64_t>)
        return integerValue(j);
    else if constexpr (std::is_same_v<T, double>)
        return numberValue(j);
    else if constexpr (std::is_same_v<T, std::string>)
        return stringValue(j);
    else
        return j.get<T>();
}

template <class T> void required(const Json& j, const char* key, T& out) {
    out = valueOf<T>(j.at(key));
}

template <class T> void optional(const Json& j, const char* key, std::optional<T>& out) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) {
        out.reset();
        return;
    }
    out = valueOf<T>(*it);
}

template <class T> void put(Json& j, const char* key, const std::optional<T>& value) {
    if (value)
        j[key] = *value;
}

// Request and answer parts carry the same two optional fields.
template <class Part> void partToJson(Json& j, const Part& value) {
    j = Json::object();
    put(j, "text", value.text);
    put(j, "inlineData", value.inlineData);
}

template <class Part> void partFromJson(const Json& j, Part& value) {
    requireObject(j, "part");
    optional(j, "text", value.text);
    optional(j, "inlineData", value.inlineData);
}

} // namespace

void to_json(Json& j, const InlineData& value) {
    j = Json::object();
    j["mimeType"] = value.mimeType;
    j["data"] = value.data;
}

void from_json(const Json& j, InlineData& value) {
    requireObject(j, "inlineData");
    required(j, "mimeType", value.mimeType);
    required(j, "data", value.data);
}

void to_json(Json& j, const RequestPart& value) {
    partToJson(j, value);
}

void from_json(const Json& j, RequestPart& value) {
    partFromJson(j, value);
}

void to_json(Json& j, const Content& value) {
    j = Json::object();
    j["role"] = value.role;
    j["parts"] = value.parts;
}

void from_json(const Json& j, Content& value) {
    requireObject(j, "content");
    required(j, "role", value.role);
    required(j, "parts", value.parts);
}

void to_json(Json& j, const ImageConfig& value) {
    j = Json::object();
    j["aspectRatio"] = value.aspectRatio;
}

void from_json(const Json& j, ImageConfig& value) {
    requireObject(j, "imageConfig");
    required(j, "aspectRatio", value.aspectRatio);
}

void to_json(Json& j, const GenerationConfig& value) {
    j = Json::object();
    j["temperature"] = value.temperature;
    j["maxOutputTokens"] = value.maxOutputTokens;
    put(j, "responseModalities", value.responseModalities);
    put(j, "imageConfig", value.imageConfig);
}

void from_json(const Json& j, GenerationConfig& value) {
    requireObject(j, "generationConfig");
    required(j, "temperature", value.temperature);
    required(j, "maxOutputTokens", value.maxOutputTokens);
    optional(j, "responseModalities", value.responseModalities);
    optional(j, "imageConfig", value.imageConfig);
}

void to_json(Json& j, const GoogleRequest& value) {
    j = Json::object();
    j["contents"] = value.contents;
    j["generationConfig"] = value.generationConfig;
}

void from_json(const Json& j, GoogleRequest& value) {
    requireObject(j, "request");
    required(j, "contents", value.contents);
    required(j, "generationConfig", value.generationConfig);
}

void to_json(Json& j, const UsageMetadata& value) {
    j = Json::object();
    put(j, "promptTokenCount", value.promptTokenCount);
    put(j, "candidatesTokenCount", value.candidatesTokenCount);
    put(j, "totalTokenCount", value.totalTokenCount);
}

void from_json(const Json& j, UsageMetadata& value) {
    requireObject(j, "usageMetadata");
    optional(j, "promptTokenCount", value.promptTokenCount);
    optional(j, "candidatesTokenCount", value.candidatesTokenCount);
    optional(j, "totalTokenCount", value.totalTokenCount);
}

void to_json(Json& j, const ResponsePart& value) {
    partToJson(j, value);
}

void from_json(const Json& j, ResponsePart& value) {
    partFromJson(j, value);
}

void to_json(Json& j, const ResponseContent& value) {
    j = Json::object();
    put(j, "parts", value.parts);
}

void from_json(const Json& j, ResponseContent& value) {
    requireObject(j, "content");
    optional(j, "parts", value.parts);
}

void to_json(Json& j, const SafetyRating& value) {
    j = Json::object();
    j["category"] = value.category;
    j["probability"] = value.probability;
}

void from_json(const Json& j, SafetyRating& value) {
    requireObject(j, "safetyRating");
    required(j, "category", value.category);
    required(j, "probability", value.probability);
}

void to_json(Json& j, const Candidate& value) {
    j = Json::object();
    put(j, "content", value.content);
    put(j, "finishReason", value.finishReason);
    put(j, "safetyRatings", value.safetyRatings);
}

void from_json(const Json& j, Candidate& value) {
    requireObject(j, "candidate");
    optional(j, "content", value.content);
    optional(j, "finishReason", value.finishReason);
    optional(j, "safetyRatings", value.safetyRatings);
}

void to_json(Json& j, const GoogleResponse& value) {
    j = Json::object();
    put(j, "candidates", value.candidates);
    put(j, "usageMetadata", value.usageMetadata);
}

void from_json(const Json& j, GoogleResponse& value) {
    requireObject(j, "response");
    optional(j, "candidates", value.candidates);
    optional(j, "usageMetadata", value.usageMetadata);
}

std::vector<std::string_view> longBase64Values(const char* data, std::size_t size) {
    std::vector<std::string_view> values;
    for (const Skeleton::Lifted& lifted : liftLongStrings(data, size).lifted)
        values.push_back(lifted.value);
    return values;
}

DecodeResult decodeResponse(const char* data, std::size_t size) {
    DecodeResult result;
    try {
        const Skeleton skeleton = liftLongStrings(data, size);
        const Json json = parseBody(skeleton, data, size);
        liftedTexts = &skeleton.lifted;
        const auto reset = qScopeGuard([] { liftedTexts = nullptr; });
        result.response = json.get<GoogleResponse>();
    } catch (const Json::out_of_range& error) {
        result.failure = DecodeFailure::keyNotFound;
        result.detail = error.what();
    } catch (const Json::exception& error) {
        result.failure = DecodeFailure::dataCorrupted;
        result.detail = error.what();
    }
    return result;
}

std::string encodeRequest(GoogleRequest request) {
    Json json = request;
    request = {};
    return json.dump();
}

std::optional<QUrl> endpoint(const QUrl& base, const QString& path) {
    if (!base.isValid() || base.host().isEmpty() || (base.scheme() != "https" && base.scheme() != "http"))
        return std::nullopt;
    QString basePath = base.path();
    while (basePath.endsWith(QLatin1Char('/')))
        basePath.chop(1);
    QUrl url = base;
    url.setPath(basePath + path);
    url.setQuery(QString());
    url.setFragment(QString());
    if (!url.isValid())
        return std::nullopt;
    return url;
}

QNetworkRequest keyedRequest(const QUrl& url, QStringView key, int timeoutMs) {
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setRawHeader("X-goog-api-key", headerValue(key));
    return request;
}

} // namespace GeminiWire
