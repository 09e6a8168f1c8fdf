#pragma once

#include "marks/MarksFile.h"
#include "measure/QtTextMeasure.h"
#include "record/Progress.h"
#include "series/SeriesState.h"
#include "session/Session.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"
#include "window/MainWindow.h"

#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <memory>

// The main window on the (offscreen) screen after start-up, with the real
// fonts and fakes for sound and message boxes, in a working directory that
// holds a catalogue of one small series.
class ViewFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        TestFiles::write(path(QStringLiteral("ZQCList.TXT")),
                         TestFiles::lines({QStringLiteral("動物の分類,Animals.TXT"),
                                           QStringLiteral("植物の分類,Plants.TXT")}));
        TestFiles::write(path(QStringLiteral("Animals.TXT")),
                         TestFiles::lines({
                             QStringLiteral("問題１　次の動物を分類しなさい。"),
                             QStringLiteral("Ａ群"),
                             QStringLiteral("・ウニ　・ヒトデ　・イカ　・タコ"),
                             QStringLiteral("Ｂ群"),
                             QStringLiteral("ａ．棘皮動物　ｂ．軟体動物"),
                             QStringLiteral("正解a,a,b,b,"),
                             QStringLiteral("解説"),
                             QStringLiteral("ウニとヒトデは棘皮動物，イカとタコは軟体動物。"),
                         }));
        SessionPorts ports;
        auto marks = std::make_unique<MarksStore>(dir.path());
        fileMarks = marks.get();
        ports.marks = std::move(marks);
        ports.players = &players;
        ports.dialogs = &dialogs;
        session = std::make_unique<Session>(dir.path(), measure, std::move(ports));
        form = &session->screen();
        view = std::make_unique<MainWindow>(*session);
        view->show();
        view->load();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    void TearDown() override
    {
        view.reset();
        session.reset();
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    SeriesState& state() const { return session->state(); }
    QWindow* window() const { return view->windowHandle(); }
    QWidget* widget(const Control& c) const { return view->widgetOf(c); }
    // A point of a control's widget in window coordinates.
    QPoint at(const Control& c, QPoint inside) const
    {
        return widget(c)->mapTo(view.get(), inside);
    }
    QPoint centreOf(const Control& c) const { return at(c, widget(c)->rect().center()); }

    // Double-clicks entry `row` of the series list.
    void doubleClickEntry(int row);

    QTemporaryDir dir;
    QtTextMeasure measure;
    FakePlayers players;
    FakeDialogs dialogs;
    MarksStore* fileMarks = nullptr; // the folder's marks file, the session's
    std::unique_ptr<Session> session;
    MainScreen* form = nullptr;
    std::unique_ptr<MainWindow> view;
};

// A learner's record of two series, for the record window.
Progress sampleProgress();
