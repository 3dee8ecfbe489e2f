#include "GeminiWire.h"

#include "HttpHeaders.h"
#include "NetworkAccess.h"
#include "WireDecoding.h"

#include <QScopeGuard>

#include <bit>
#include <limits>
#include <string_view>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Where the run of plain base64 characters from `from` ends: the first other byte. A picture's text is tens of
// megabytes of them, looked at sixteen bytes a time.
std::size_t plainRunEnd(const unsigned char* bytes, std::size_t from, std::size_t size) {
    std::size_t j = from;
#ifdef __SSE2__
    const auto within = [](__m128i c, char low, char high) {
        return _mm_cmpeq_epi8(_mm_or_si128(_mm_subs_epu8(c, _mm_set1_epi8(high)), _mm_subs_epu8(_mm_set1_epi8(low), c)),
                              _mm_setzero_si128());
    };
    for (; j + 16 <= size; j += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + j));
        const __m128i letters = _mm_or_si128(within(c, 'A', 'Z'), within(c, 'a', 'z'));
        const __m128i rest = _mm_or_si128(within(c, '/', '9'), _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('+')),
                                                                            _mm_cmpeq_epi8(c, _mm_set1_epi8('='))));
        const auto plain = unsigned(_mm_movemask_epi8(_mm_or_si128(letters, rest)));
        if (plain != 0xFFFFu)
            return j + std::size_t(std::countr_one(plain));
    }
#endif
    while (j < size && alphabet.plain[bytes[j]])
        ++j;
    return j;
}

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
        std::size_t j = plainRunEnd(bytes, open + 1, size);
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

// Writes a record's members in the order they are listed; an absent optional member is left out.
struct Writer {
    Json& json;
    template <class T> void required(const char* key, const T& value) { json[key] = value; }
    template <class T> void optional(const char* key, const std::optional<T>& value) {
        if (value)
            json[key] = *value;
    }
};

// Reads a record's members strictly; an optional member that is absent or null reads as none.
struct Reader {
    const Json& json;
    template <class T> void required(const char* key, T& out) { out = valueOf<T>(json.at(key)); }
    template <class T> void optional(const char* key, std::optional<T>& out) {
        const auto it = json.find(key);
        if (it == json.end() || it->is_null()) {
            out.reset();
            return;
        }
        out = valueOf<T>(*it);
    }
};

// Each record's members, listed once for both directions, and its name in decoding errors.
template <class Record> struct Members;

// Request and answer parts carry the same two optional members.
struct PartMembers {
    static constexpr const char* name = "part";
    static void visit(auto& io, auto& record) {
        io.optional("text", record.text);
        io.optional("inlineData", record.inlineData);
    }
};
template <> struct Members<RequestPart> : PartMembers {};
template <> struct Members<ResponsePart> : PartMembers {};

template <> struct Members<InlineData> {
    static constexpr const char* name = "inlineData";
    static void visit(auto& io, auto& record) {
        io.required("mimeType", record.mimeType);
        io.required("data", record.data);
    }
};

template <> struct Members<Content> {
    static constexpr const char* name = "content";
    static void visit(auto& io, auto& record) {
        io.required("role", record.role);
        io.required("parts", record.parts);
    }
};

template <> struct Members<ImageConfig> {
    static constexpr const char* name = "imageConfig";
    static void visit(auto& io, auto& record) { io.required("aspectRatio", record.aspectRatio); }
};

template <> struct Members<GenerationConfig> {
    static constexpr const char* name = "generationConfig";
    static void visit(auto& io, auto& record) {
        io.required("temperature", record.temperature);
        io.required("maxOutputTokens", record.maxOutputTokens);
        io.optional("responseModalities", record.responseModalities);
        io.optional("imageConfig", record.imageConfig);
    }
};

template <> struct Members<GoogleRequest> {
    static constexpr const char* name = "request";
    static void visit(auto& io, auto& record) {
        io.required("contents", record.contents);
        io.required("generationConfig", record.generationConfig);
    }
};

template <> struct Members<UsageMetadata> {
    static constexpr const char* name = "usageMetadata";
    static void visit(auto& io, auto& record) {
        io.optional("promptTokenCount", record.promptTokenCount);
        io.optional("candidatesTokenCount", record.candidatesTokenCount);
        io.optional("totalTokenCount", record.totalTokenCount);
    }
};

template <> struct Members<ResponseContent> {
    static constexpr const char* name = "content";
    static void visit(auto& io, auto& record) { io.optional("parts", record.parts); }
};

template <> struct Members<SafetyRating> {
    static constexpr const char* name = "safetyRating";
    static void visit(auto& io, auto& record) {
        io.required("category", record.category);
        io.required("probability", record.probability);
    }
};

template <> struct Members<Candidate> {
    static constexpr const char* name = "candidate";
    static void visit(auto& io, auto& record) {
        io.optional("content", record.content);
        io.optional("finishReason", record.finishReason);
        io.optional("safetyRatings", record.safetyRatings);
    }
};

template <> struct Members<GoogleResponse> {
    static constexpr const char* name = "response";
    static void visit(auto& io, auto& record) {
        io.optional("candidates", record.candidates);
        io.optional("usageMetadata", record.usageMetadata);
    }
};

template <class Record> void write(Json& j, const Record& value) {
    j = Json::object();
    Writer writer{j};
    Members<Record>::visit(writer, value);
}

template <class Record> void read(const Json& j, Record& value) {
    requireObject(j, Members<Record>::name);
    Reader reader{j};
    Members<Record>::visit(reader, value);
}

} // namespace

// The conversions nlohmann's serializer finds by argument-dependent lookup, one pair per record.
#define GEMINI_WIRE_RECORD(Record)                                                                                     \
    void to_json(Json& j, const Record& value) {                                                                       \
        write(j, value);                                                                                               \
    }                                                                                                                  \
    void from_json(const Json& j, Record& value) {                                                                     \
        read(j, value);                                                                                                \
    }

GEMINI_WIRE_RECORD(InlineData)
GEMINI_WIRE_RECORD(RequestPart)
GEMINI_WIRE_RECORD(Content)
GEMINI_WIRE_RECORD(ImageConfig)
GEMINI_WIRE_RECORD(GenerationConfig)
GEMINI_WIRE_RECORD(GoogleRequest)
GEMINI_WIRE_RECORD(UsageMetadata)
GEMINI_WIRE_RECORD(ResponsePart)
GEMINI_WIRE_RECORD(ResponseContent)
GEMINI_WIRE_RECORD(SafetyRating)
GEMINI_WIRE_RECORD(Candidate)
GEMINI_WIRE_RECORD(GoogleResponse)

#undef GEMINI_WIRE_RECORD

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
    NetworkAccess::keepOnOrigin(request);
    return request;
}

} // namespace GeminiWire
