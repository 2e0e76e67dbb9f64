// The shipped translations, read as the translator left them: a translation
// that drops or invents a placeholder would lose a file name or an error's
// reason, or show "%2" to the user; neither lrelease nor the build notices.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

namespace morvale::testing {
namespace {

// %1 to %9, as both Qt's arg() and fillIn read them, sorted.
QString placeholders(const QString& text) {
    static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
    QStringList found;
    for (const auto& match : placeholder.globalMatch(text)) {
        found << match.captured();
    }
    found.sort();
    found.removeDuplicates();
    return found.join(QLatin1Char(' '));
}

TEST(TranslationFile, EachTranslationHasItsSourcesPlaceholders) {
    static const QRegularExpression message(
        QStringLiteral("<source>(.*?)</source>.*?<translation[^>]*>(.*?)</translation>"),
        QRegularExpression::DotMatchesEverythingOption);
    const QDir folder(QStringLiteral(MORVALE_SOURCE_DIR "/translations"));
    const QStringList files = folder.entryList({QStringLiteral("*.ts")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        int messages = 0;
        for (const auto& match : message.globalMatch(QString::fromUtf8(file.readAll()))) {
            ++messages;
            EXPECT_EQ(placeholders(match.captured(2)).toStdString(),
                      placeholders(match.captured(1)).toStdString())
                << name.toStdString() << ": " << match.captured(1).toStdString();
        }
        EXPECT_GT(messages, 0) << name.toStdString();
    }
}

}  // namespace
}  // namespace morvale::testing
