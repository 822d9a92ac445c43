#include "app/QtTranslations.h"

#include "app/QtFileDialogs.h"
#include "tests/support/Modal.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

bool hasChinese(const QString& text)
{
    return text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]")));
}

} // namespace

TEST(QtTranslations, QtsOwnButtonsAndFileDialogsSpeakChinese)
{
    QObject owner; // the catalogues go with it, leaving the other tests as they were
    const QStringList loaded = installQtTranslations(&owner);
    ASSERT_TRUE(loaded.contains("qtbase_zh_CN")) << "is qt6-translations-l10n installed?";

    QMessageBox box(QMessageBox::Information, "Varnok", "?", QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok);
    for (const QMessageBox::StandardButton b : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok})
        EXPECT_TRUE(hasChinese(box.button(b)->text())) << box.button(b)->text().toStdString();

    // Saving over an existing file: the dialog's own buttons and labels, and its question.
    QTemporaryDir dir;
    QFile existing(dir.filePath("old.xls"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    QStringList dialogTexts;
    QString question;
    QStringList answers;
    whenModalOpens<QFileDialog>([&](QFileDialog& d) {
        d.setDirectory(dir.path());
        d.selectFile(dir.filePath("old.xls"));
        for (const QPushButton* b : d.findChildren<QPushButton*>())
            if (b->isVisible() && !b->text().isEmpty())
                dialogTexts << b->text();
        for (const QLabel* l : d.findChildren<QLabel*>())
            if (l->isVisible() && !l->text().isEmpty())
                dialogTexts << l->text();
        whenModalOpens<QMessageBox>([&](QMessageBox& ask) {
            question = ask.text();
            for (const QAbstractButton* b : ask.buttons())
                answers << b->text();
            ask.button(QMessageBox::Yes)->click();
        });
        static_cast<QDialog&>(d).accept(); // asks before replacing
    });
    QtFileDialogs dialogs;
    const std::optional<QString> chosen = dialogs.saveFileName("*.xls|*.xls", "new.xls");
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, dir.filePath("old.xls"));
    ASSERT_FALSE(dialogTexts.isEmpty());
    for (const QString& t : dialogTexts)
        EXPECT_TRUE(hasChinese(t)) << t.toStdString();
    EXPECT_TRUE(question.contains("old.xls"));
    EXPECT_TRUE(hasChinese(question)) << question.toStdString();
    ASSERT_EQ(answers.size(), 2);
    for (const QString& t : answers)
        EXPECT_TRUE(hasChinese(t)) << t.toStdString();
}
