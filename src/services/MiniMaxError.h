#pragma once

#include "MiniMaxWire.h"

#include <QString>

// The video client's own failures; each has one user-facing text.
class MiniMaxError {
public:
    enum class Kind {
        httpError,
        invalidURL,
        invalidResponse,
        rateLimitExceeded,
        encodingError,
        imageConversionFailed,
        statusCheckFailed,
    };

    static MiniMaxError httpError(qint64 code) { return {Kind::httpError, code}; }
    static MiniMaxError invalidURL() { return {Kind::invalidURL}; }
    static MiniMaxError invalidResponse() { return {Kind::invalidResponse}; }
    static MiniMaxError rateLimitExceeded() { return {Kind::rateLimitExceeded}; }
    static MiniMaxError encodingError() { return {Kind::encodingError}; }
    static MiniMaxError imageConversionFailed() { return {Kind::imageConversionFailed}; }
    static MiniMaxError statusCheckFailed() { return {Kind::statusCheckFailed}; }

    Kind kind() const { return kind_; }
    qint64 code() const { return code_; }
    bool isHttpError(qint64 code) const { return kind_ == Kind::httpError && code_ == code; }
    bool refusesKey() const { return kind_ == Kind::httpError && MiniMaxStatus::refusesKey(code_); }
    QString localizedDescription() const;

    friend bool operator==(const MiniMaxError& a, const MiniMaxError& b) {
        return a.kind_ == b.kind_ && (a.kind_ != Kind::httpError || a.code_ == b.code_);
    }

private:
    MiniMaxError(Kind kind, qint64 code = 0) : kind_(kind), code_(code) {}

    Kind kind_;
    qint64 code_ = 0;
};
