// A collect's plan and copies: the names the copies take, files reused or shared, a name never
// replaced, and failures and a cancel that leave whole copies and no temporary file behind.
#include "files/CollectSet.h"
#include "support/WavBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace mt {
namespace {

class CollectSetTest : public ::testing::Test {
protected:
    QString put(const QString& name, const QByteArray& bytes) {
        QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(test::WriteFile(path, bytes));
        return path;
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    QStringList inFolder() const {
        return QDir(m_folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir m_dir;
    const QString m_folder = CollectFolder(m_dir.filePath("live.mrw"));
};

TEST_F(CollectSetTest, CopiesKeepTheirNamesUnlessAnotherFileHasItAndNothingIsCopiedTwice) {
    EXPECT_EQ(m_folder, m_dir.filePath("live samples"));
    EXPECT_EQ(NumberedName("a.tar.gz", 2) + NumberedName(".x", 3), "a.tar (2).gz.x (3)");
    put("live samples/kick.wav", "B");
    put("live samples/snare.wav", "other");
    const std::vector<QString> sources{
        put("a/kick.wav", "A"),       put("b/kick.wav", "B"),
        m_dir.filePath("a/kick.wav"), "",
        put("c/snare.wav", "S"),      put("live samples/hat.wav", "H"),
        put("d/tom.wav", "T1"),       put("e/tom.wav", "T2")};
    CollectPlan plan = PlanCollect(sources, m_folder);
    // Another file has the name; the same bytes are there, taken as they are; one file, one
    // copy; no file; another file has it; already inside, stays; free; planned for another.
    QStringList expected{"kick (2).wav",  "kick.wav", "kick (2).wav", "",
                         "snare (2).wav", "hat.wav",  "tom.wav",      "tom (2).wav"};
    for (QString& name : expected) {
        name = name.isEmpty() ? name : m_folder + '/' + name;
    }
    EXPECT_EQ(QStringList(plan.targets.begin(), plan.targets.end()), expected);
    EXPECT_EQ(std::make_pair(plan.copies.size(), plan.bytes), std::make_pair(std::size_t{4}, 6ll));

    // A name taken after the plan is never replaced: the copy takes the next free one.
    put("live samples/tom.wav", "came meanwhile");
    qint64 copied = -1;
    QString error;
    ASSERT_TRUE(RunCollect(plan, {nullptr, [&copied](qint64 n) { copied = n; }}, &error));
    EXPECT_EQ(std::make_pair(copied, plan.targets[6]),
              std::make_pair(6ll, m_folder + "/tom (2).wav"));
    EXPECT_EQ(inFolder(), QStringList({"hat.wav", "kick (2).wav", "kick.wav", "snare (2).wav",
                                       "snare.wav", "tom (2).wav", "tom (3).wav", "tom.wav"}));
    EXPECT_EQ(read(plan.targets[0]) + read(plan.targets[4]) + read(plan.targets[7]) +
                  read(sources[0]) + read(m_folder + "/tom.wav"),
              "AST2Acame meanwhile");
    EXPECT_TRUE(PlanCollect(plan.targets, m_folder).copies.empty()) << "collected again";
}

TEST_F(CollectSetTest, AFailedOrCancelledCopyLeavesWholeCopiesAndNoTemporaryFile) {
    const QString gone = put("gone.wav", "g");
    CollectPlan plan = PlanCollect({put("first.wav", "1"), gone}, m_folder);
    QFile::remove(gone);
    QString error;
    EXPECT_FALSE(RunCollect(plan, {}, &error) || !error.startsWith(gone));
    EXPECT_EQ(PlanCollect({gone}, m_folder).error,
              gone + " が見つからないため、まとめて保存できません。");
    std::atomic<bool> cancel{false};
    plan = PlanCollect({put("big.wav", QByteArray(3 << 20, 'x'))}, m_folder);
    EXPECT_FALSE(RunCollect(plan, {&cancel, [&cancel](qint64 n) { cancel = n > 0; }}, &error));
    EXPECT_EQ(inFolder(), QStringList{"first.wav"});

    // A folder that cannot be written: a read-only one (root writes anyway) and a file.
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(RunCollect(plan, {}, &error), ::geteuid() == 0);
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(QDir(m_folder).removeRecursively());
    put("live samples", "a file");
    EXPECT_FALSE(RunCollect(plan, {}, &error));
}

} // namespace
} // namespace mt
