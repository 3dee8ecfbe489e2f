#pragma once

#include "ImageOptions.h"

// The Gemini image service client.
class OrvaneAPIService : public ImageGenerationService {
    Q_OBJECT
public:
    explicit OrvaneAPIService(QObject* parent = nullptr);

    // The process-wide instance, created on first use.
    static OrvaneAPIService& shared();

    bool isLoading() const override { return isLoading_; }
    QImage generatedImage() const override { return generatedImage_; }
    std::optional<QString> errorMessage() const override { return errorMessage_; }
    std::optional<QString> textResponse() const override { return textResponse_; }
    bool isContentBlocked() const override { return isContentBlocked_; }

    // Starts a new chat: clears the outputs and the token count.
    void resetSession();

private:
    bool isLoading_ = false;
    QImage generatedImage_;
    std::optional<QString> errorMessage_;
    std::optional<QString> textResponse_;
    bool isContentBlocked_ = false;
};
