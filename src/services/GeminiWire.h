#pragma once

#include <QNetworkRequest>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The JSON records of the Gemini generateContent method. Keys are the field names, letter for letter.
// Decoding is strict: a missing required key or a value of the wrong JSON type fails the whole decode;
// unknown keys are ignored and an optional key holding null reads as absent. Fields are written in
// declaration order, absent optionals are left out.
namespace GeminiWire {

using Json = nlohmann::ordered_json;

struct InlineData {
    std::string mimeType;
    std::string data; // standard base64
    bool operator==(const InlineData&) const = default;
};

struct RequestPart {
    std::optional<std::string> text;
    std::optional<InlineData> inlineData;
    bool operator==(const RequestPart&) const = default;
};

struct Content {
    std::string role;
    std::vector<RequestPart> parts;
    bool operator==(const Content&) const = default;
};

struct ImageConfig {
    std::string aspectRatio;
    bool operator==(const ImageConfig&) const = default;
};

struct GenerationConfig {
    double temperature = 0.7;
    std::int64_t maxOutputTokens = 8192;
    std::optional<std::vector<std::string>> responseModalities;
    std::optional<ImageConfig> imageConfig;
    bool operator==(const GenerationConfig&) const = default;
};

struct GoogleRequest {
    std::vector<Content> contents;
    GenerationConfig generationConfig;
    bool operator==(const GoogleRequest&) const = default;
};

struct UsageMetadata {
    std::optional<std::int64_t> promptTokenCount;
    std::optional<std::int64_t> candidatesTokenCount;
    std::optional<std::int64_t> totalTokenCount;
    bool operator==(const UsageMetadata&) const = default;
};

struct ResponsePart {
    std::optional<std::string> text;
    std::optional<InlineData> inlineData;
    bool operator==(const ResponsePart&) const = default;
};

struct ResponseContent {
    std::optional<std::vector<ResponsePart>> parts;
    bool operator==(const ResponseContent&) const = default;
};

struct SafetyRating {
    std::string category;
    std::string probability;
    bool operator==(const SafetyRating&) const = default;
};

struct Candidate {
    std::optional<ResponseContent> content;
    std::optional<std::string> finishReason;
    std::optional<std::vector<SafetyRating>> safetyRatings;
    bool operator==(const Candidate&) const = default;
};

struct GoogleResponse {
    std::optional<std::vector<Candidate>> candidates;
    std::optional<UsageMetadata> usageMetadata;
    bool operator==(const GoogleResponse&) const = default;
};

void to_json(Json& j, const InlineData& value);
void from_json(const Json& j, InlineData& value);
void to_json(Json& j, const RequestPart& value);
void from_json(const Json& j, RequestPart& value);
void to_json(Json& j, const Content& value);
void from_json(const Json& j, Content& value);
void to_json(Json& j, const ImageConfig& value);
void from_json(const Json& j, ImageConfig& value);
void to_json(Json& j, const GenerationConfig& value);
void from_json(const Json& j, GenerationConfig& value);
void to_json(Json& j, const GoogleRequest& value);
void from_json(const Json& j, GoogleRequest& value);
void to_json(Json& j, const UsageMetadata& value);
void from_json(const Json& j, UsageMetadata& value);
void to_json(Json& j, const ResponsePart& value);
void from_json(const Json& j, ResponsePart& value);
void to_json(Json& j, const ResponseContent& value);
void from_json(const Json& j, ResponseContent& value);
void to_json(Json& j, const SafetyRating& value);
void from_json(const Json& j, SafetyRating& value);
void to_json(Json& j, const Candidate& value);
void from_json(const Json& j, Candidate& value);
void to_json(Json& j, const GoogleResponse& value);
void from_json(const Json& j, GoogleResponse& value);

// Why a body could not be decoded, in words a user can read.
enum class DecodeFailure { dataCorrupted, keyNotFound };
struct DecodeResult {
    std::optional<GoogleResponse> response;
    DecodeFailure failure = DecodeFailure::dataCorrupted;
    std::string detail; // the decoder's own message, for diagnostics
};
DecodeResult decodeResponse(const char* data, std::size_t size);
// The long string values of a body that hold nothing but base64 characters (an inline picture's text is
// one), as views into it, in document order; found without parsing, so the body may still fail to decode.
std::vector<std::string_view> longBase64Values(const char* data, std::size_t size);
// The request is taken over so its (large) image texts are freed as soon as they are in the JSON tree.
std::string encodeRequest(GoogleRequest request);

// The address of `path` under the service's base address (its query and fragment dropped); none when the base
// is not a web address.
std::optional<QUrl> endpoint(const QUrl& base, const QString& path);
// A request to the service: the key in "X-goog-api-key" (sent as given), the time-out, and no redirect followed
// to another origin.
QNetworkRequest keyedRequest(const QUrl& url, QStringView key, int timeoutMs);

} // namespace GeminiWire
