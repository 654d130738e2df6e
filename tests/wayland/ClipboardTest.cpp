// The compositor's clipboard as Kelvrin captures and keeps it on Wayland, watched from outside:
// the real kelvrin program in the session, its history read through --list.
#include "tests/wayland/KelvrinInSession.h"

#include "model/ExtraType.h"
#include "tests/support/TestPictures.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QThread>
#include <gtest/gtest.h>

namespace {

QString sha256(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

// Types are taken in the owner's order and form, as on X11: rich text with its text, a picture
// as TIFF with the text met before it, read on a worker while Kelvrin answers on. Neither what
// was there at launch nor a password manager's secret is kept.
TEST(WaylandClipboard, OwnersTypesAreTakenInTheirOrderButNotTheLaunchContentNorASecret) {
    const SwaySession sway(kKelvrin + QStringLiteral(" --show"));
    sway.copy("there at launch");
    KelvrinInSession running(sway);
    ASSERT_TRUE(running.answered());
    EXPECT_EQ(running.history()->size(), 0);

    const QByteArray rtf = "{\\rtf1\\ansi {\\b bold} words}";
    {
        ClipOwner rich(sway, {QString::fromUtf8("text/rtf=" + rtf), "text/plain=bold words"});
        ASSERT_TRUE(rich.waitForLine("ready"));
        ASSERT_TRUE(running.waitForSize(1));
    }
    const QJsonObject richClipping = running.history()->front();
    EXPECT_EQ(richClipping[u"extraType"].toInt(), ExtraType::RTF);
    EXPECT_EQ(richClipping[u"contents"].toString(), u"bold words");
    EXPECT_EQ(richClipping[u"extraDataSha256"].toString(), sha256(rtf));

    // The mark is looked for among all the names an owner offers, and read before anything else.
    QStringList farDown{"text/plain=hunter2"};
    for (int name = 0; name < 1100; ++name)
        farDown << QStringLiteral("x-filler-%1=x").arg(name);
    for (const QStringList& offer : {QStringList{"text/plain=hunter2"}, farDown}) {
        ClipOwner secret(sway, offer + QStringList{"x-kde-passwordManagerHint=secret"});
        ASSERT_TRUE(secret.waitForLine("sent x-kde-passwordManagerHint"));
        QThread::msleep(3 * 200);
        EXPECT_FALSE(secret.said("asked text/plain")) << "the secret was read";
    }
    ClipOwner picture(sway, {"--delay", "image/png", "3", "text/plain=a caption",
                             offeredPng(sway, TestPictures::noise({64, 48}, 7))});
    ASSERT_TRUE(picture.waitForLine("asked image/png"));
    EXPECT_TRUE(running.history());
    EXPECT_FALSE(picture.waitForLine("sent image/png", 0)) << "answered only once it was sent";
    ASSERT_TRUE(running.waitForSize(2));
    const QJsonObject pictureClipping = running.history()->front();
    EXPECT_EQ(pictureClipping[u"extraType"].toInt(), ExtraType::TIFF);
    EXPECT_EQ(pictureClipping[u"contents"].toString(), u"a caption");
    EXPECT_EQ(running.history()->size(), 2) << "the secret kept";
    EXPECT_FALSE(running.errors().contains("WARNING")) << running.errors().constData();
}

// What a program that quits leaves on the clipboard stays there, served by Kelvrin, which does not
// take its own write for a copy; the next copy replaces it.
TEST(WaylandClipboard, WhatAProgramLeavesWhenItQuitsStaysOnTheClipboard) {
    const SwaySession sway(kKelvrin + QStringLiteral(" --show"));
    KelvrinInSession running(sway);
    ASSERT_TRUE(running.answered());
    // wl-copy serves one paste, Kelvrin's reading it, and quits.
    const QByteArray text = "kept \xc3\xa9 \xf0\x9f\x98\x80\nsecond line\t";
    sway.run(QStringLiteral("wl-copy"), {"--paste-once"}, 10000, text);
    ASSERT_TRUE(running.waitForSize(1));
    EXPECT_TRUE(waitUntil([&] { return sway.paste() == text; }));
    // A few ticks of the poll look at the clipboard Kelvrin now owns.
    QThread::msleep(600);
    EXPECT_EQ(running.history()->size(), 1) << "our own write taken for a copy";

    const QImage image = TestPictures::noise({600, 400}, 7);
    {
        ClipOwner picture(sway, {offeredPng(sway, image)});
        ASSERT_TRUE(picture.waitForLine("ready"));
        ASSERT_TRUE(running.waitForSize(2));
    }
    ASSERT_TRUE(waitUntil([&] { return sway.paste(QStringLiteral("image/tiff")).has_value(); }));
    EXPECT_EQ(sway.run(QStringLiteral("wl-paste"), {"--list-types"}).out,
              "image/tiff\nimage/png\n");
    const QByteArray tiff = sway.paste(QStringLiteral("image/tiff")).value_or(QByteArray());
    EXPECT_EQ(sha256(tiff), running.history()->front()[u"extraDataSha256"].toString());
    EXPECT_TRUE(QImage::fromData(tiff, "TIFF").convertToFormat(QImage::Format_RGB32) == image);
    EXPECT_EQ(running.history()->size(), 2);

    sway.copy("later");
    ASSERT_TRUE(running.waitForSize(3));
    EXPECT_EQ(sway.paste(), "later");
    EXPECT_FALSE(running.errors().contains("WARNING")) << running.errors().constData();
}

// An owner that takes the clipboard every two seconds and never answers, as a hung or hostile
// program may: the command line answers at once throughout, the paste window comes up and pastes,
// and a copy made once the owner is gone is captured.
TEST(WaylandClipboard, AnOwnerThatKeepsTakingTheClipboardAndNeverAnswersHoldsUpNothing) {
    const SwaySession sway(kKelvrin + QStringLiteral(" --paste-window"));
    KelvrinInSession running(sway);
    ASSERT_TRUE(running.answered());
    sway.copy("before");
    ASSERT_TRUE(waitUntil([&] { return running.newest() == u"before"; }));
    QProcess target;
    ASSERT_TRUE(startPasteTarget(sway, target));
    {
        ClipOwner hostile(
            sway, {"--delay", "text/plain", "3600", "--retake", "2", "text/plain=never sent"});
        ASSERT_TRUE(hostile.waitForLine("asked text/plain"));
        qint64 longest = 0;
        QElapsedTimer during;
        during.start();
        while (during.elapsed() < 7500) {
            QElapsedTimer answer;
            answer.start();
            ASSERT_TRUE(running.history()) << "no answer";
            longest = std::max(longest, answer.elapsed());
        }
        EXPECT_GE(hostile.said("asked text/plain"), 3) << "too few takes to tell";
        // Far below the transfer's wait; the time itself is the benchmark's.
        EXPECT_LT(longest, 1250);

        sway.type({"-M", "logo", "-M", "shift", "-k", "v", "-m", "shift", "-m", "logo"});
        ASSERT_TRUE(waitUntil([&] {
            return sway.focusedWindow().value(u"app_id").toString() ==
                   QLatin1String(KELVRIN_APP_ID);
        })) << "the paste window did not come up";
        sway.type({"-k", "Return"});
        ASSERT_TRUE(waitUntil([&] { return target.canReadLine(); }));
        EXPECT_EQ(target.readLine().trimmed(), "paste ctrl+v " + QByteArray("before").toBase64());
    }
    sway.copy("after");
    EXPECT_TRUE(waitUntil([&] { return running.newest() == u"after"; }));
    target.terminate();
    target.waitForFinished(5000);
}
