// The shipped translations, read as the translator left them: a translation
// that drops or invents a placeholder would lose a file name or an error's
// reason, or show "%2" to the user; neither lrelease nor the build notices.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <set>
#include <string>
#include <vector>

namespace morvale::testing {
namespace {

struct Message {
    QString source;
    QString translation;
};

std::vector<Message> readMessages(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::vector<Message> messages;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == QLatin1String("message")) {
            messages.emplace_back();
        } else if (messages.empty()) {
            continue;
        } else if (xml.name() == QLatin1String("source")) {
            messages.back().source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            messages.back().translation = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << path.toStdString() << ": " << xml.errorString().toStdString();
    return messages;
}

// %1 to %9, as both Qt's arg() and fillIn read them.
std::set<QString> placeholders(const QString& text) {
    static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
    std::set<QString> found;
    for (const auto& match : placeholder.globalMatch(text)) {
        found.insert(match.captured());
    }
    return found;
}

std::string describe(const std::set<QString>& set) {
    QStringList list(set.begin(), set.end());
    return list.join(QLatin1Char(' ')).toStdString();
}

TEST(TranslationFile, EachTranslationHasItsSourcesPlaceholders) {
    const QDir folder(QStringLiteral(MORVALE_SOURCE_DIR "/translations"));
    const QStringList files = folder.entryList({QStringLiteral("*.ts")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        const auto messages = readMessages(folder.filePath(name));
        EXPECT_FALSE(messages.empty()) << name.toStdString();
        for (const Message& message : messages) {
            EXPECT_EQ(describe(placeholders(message.translation)),
                      describe(placeholders(message.source)))
                << name.toStdString() << ": " << message.source.toStdString();
        }
    }
}

}  // namespace
}  // namespace morvale::testing
