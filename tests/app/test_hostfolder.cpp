// Finding the host data folder under the Documents folder.
#include "startup/hostfolder.h"
#include "support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velloran;

namespace {

struct Layout
{
    const char *label;
    bool standardFolder;
    bool proFolder;
    bool standardIsFile; // a plain file named like the Standard folder
    const char *expected; // "Std", "Pro" or "" for none
};

class HostFolderDiscovery : public ::testing::TestWithParam<Layout>
{
};

TEST_P(HostFolderDiscovery, FindsTheEditionFolderWithProWinning)
{
    QTemporaryDir documents;
    ASSERT_TRUE(documents.isValid());
    const Layout &layout = GetParam();
    if (layout.standardFolder) {
        ASSERT_TRUE(QDir(documents.path()).mkdir(QStringLiteral("Talvesh6Std")));
    }
    if (layout.proFolder) {
        ASSERT_TRUE(QDir(documents.path()).mkdir(QStringLiteral("Talvesh6Pro")));
    }
    if (layout.standardIsFile)
        test::writeFile(documents.filePath(QStringLiteral("Talvesh6Std")), "not a folder");

    const QString documentsFolder = QDir::toNativeSeparators(documents.path());
    const QString found = findHostDataFolder(documentsFolder);
    const QString expected = QString::fromLatin1(layout.expected);
    if (expected.isEmpty()) {
        EXPECT_EQ(found, QString());
    } else {
        EXPECT_EQ(found, documentsFolder + QDir::separator() + QStringLiteral("Talvesh6") + expected
                             + QDir::separator());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Editions, HostFolderDiscovery,
    ::testing::Values(Layout{"StandardOnly", true, false, false, "Std"},
                      Layout{"ProOnly", false, true, false, "Pro"},
                      Layout{"Both", true, true, false, "Pro"},
                      Layout{"Neither", false, false, false, ""},
                      Layout{"FileInsteadOfFolder", false, false, true, ""},
                      Layout{"FileBesidePro", false, true, true, "Pro"}),
    [](const auto &info) { return std::string(info.param.label); });

TEST(HostFolderDiscoveryFallback, AFailedDocumentsLookupSearchesAtTheRoot)
{
    // With no Documents folder the candidates stand at the root of the file
    // system; they exist nowhere on a test machine.
    const QString atRoot = QDir::separator() + QStringLiteral("Talvesh6Std");
    if (DirExists(atRoot) || DirExists(QDir::separator() + QStringLiteral("Talvesh6Pro")))
        GTEST_SKIP() << "a host folder exists at the root";
    EXPECT_EQ(findHostDataFolder(QString()), QString());
}

TEST(SpecialFolders, DocumentsIsTheUsersDocumentsFolderAndOthersAreUnknown)
{
#ifndef Q_OS_UNIX
    GTEST_SKIP() << "the Documents folder is redirected through HOME on Unix only";
#endif
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));

    const QString documents = GetSpecialFolderPath(kPersonalFolder);
    EXPECT_EQ(documents, QDir::toNativeSeparators(home.filePath(QStringLiteral("Documents"))));
    EXPECT_FALSE(documents.endsWith(QDir::separator()));
    EXPECT_EQ(GetSpecialFolderPath(16), QString());

    qputenv("HOME", oldHome);
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

} // namespace
