#pragma once

#include "APIManager.h"
#include "AppEnvironment.h"
#include "AppViewModel.h"
#include "DownloadSettings.h"
#include "FakeGeminiService.h"
#include "QueueManager.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// What every image studio test stands on: its own defaults, the virtual clock, the fake Gemini service with its key
// stored, scripted panels, a recording file manager, and the app-wide objects the studio reads.
class StudioTestBase : public QObject {
protected:
    std::unique_ptr<TestEnvironment> env_;
    std::unique_ptr<VirtualClock> clock_;
    std::unique_ptr<FakeGeminiService> fake_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    std::unique_ptr<RecordingWorkspace> workspace_;
    std::unique_ptr<AppViewModel> app_;
    std::unique_ptr<DownloadSettings> downloads_;
    std::unique_ptr<QueueManager> queue_;
    std::unique_ptr<QTemporaryDir> files_;
    QStringList revealed_;

    void setUpServices() {
        env_ = std::make_unique<TestEnvironment>();
        clock_ = std::make_unique<VirtualClock>();
        clock_->install();
        fake_ = std::make_unique<FakeGeminiService>();
        fake_->install();
        APIManager::shared().setGoogleAPIKey(fake_->apiKey);
        dialogs_ = std::make_unique<ScriptedDialogs>();
        workspace_ = std::make_unique<RecordingWorkspace>();
        app_ = std::make_unique<AppViewModel>();
        downloads_ = std::make_unique<DownloadSettings>();
        queue_ = std::make_unique<QueueManager>();
        files_ = std::make_unique<QTemporaryDir>();
        revealed_.clear();
    }

    // In the reverse order of their making; the studio itself must be gone first.
    void tearDownServices() {
        queue_.reset();
        downloads_.reset();
        app_.reset();
        dialogs_.reset();
        workspace_.reset();
        fake_.reset();
        clock_.reset();
        files_.reset();
        env_.reset();
    }

    AppEnvironment environment() {
        AppEnvironment environment;
        environment.appViewModel = app_.get();
        environment.downloadSettings = downloads_.get();
        environment.queueManager = queue_.get();
        return environment;
    }
};
