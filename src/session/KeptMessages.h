#pragma once

#include "session/Dialogs.h"

#include <QStringList>

// Dialogs for the window run without a desktop: every message box is kept
// instead of shown and answered Ok.
class KeptMessages : public Dialogs
{
public:
    Answer messageBox(const QString& text, Buttons /*buttons*/, Icon /*icon*/) override
    {
        messages.append(text);
        return Answer::Ok;
    }
    void showAbout() override {}
    void showProgress(const Progress& /*progress*/) override {}
    void endProgram() override {}

    QStringList messages;
};
