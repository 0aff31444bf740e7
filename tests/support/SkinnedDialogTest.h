#pragma once

// Fixture for the skinned dialogs that talk to a service (programs linking
// quill::dialogs): the services answer from a loopback stand-in, the computer
// counts as connected, and every message box and opened address is recorded
// instead of shown.

#include "ServiceStandIn.h"
#include "TempHome.h"
#include "platform/Connectivity.h"
#include "platform/ShellOpen.h"
#include "toolkit/SkinMessage.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

struct ShownMessage {
    QString text;
    int kind;
    int buttons;
};

template <class Form> class SkinnedDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standIn_.IsListening());
        standIn_.PointEndpointsHere();
        SetConnectedStateOverride(true);
        TbsSkinMessage::SetAnswerer([this](const QString& text, int kind, int buttons) {
            shown_.push_back({text, kind, buttons});
            return answer_;
        });
        SetShellOpenHook([this](const QString& a) { opened_ << a; });
        form_.emplace();
        Prepare(*form_);
        form_->show();
    }
    void TearDown() override {
        form_.reset();
        TbsSkinMessage::SetAnswerer(nullptr);
        SetShellOpenHook(nullptr);
        SetConnectedStateOverride(std::nullopt);
    }
    // Runs between making the dialog and showing it.
    virtual void Prepare(Form&) {}

    TempHome home_;
    ServiceStandIn standIn_;
    std::vector<ShownMessage> shown_;
    QStringList opened_;
    // What the recorded message boxes answer.
    int answer_ = TbsSkinMessage::mrOk;
    std::optional<Form> form_;
};
