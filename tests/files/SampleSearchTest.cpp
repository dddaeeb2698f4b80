#include "files/SampleSearch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mt {
namespace {

// One walk finds every wanted name, near the root first, within the depth asked, of the size
// asked, and ends in a tree with a link back to its root; a raised cancel flag finds nothing.
TEST(SampleSearch, FindsByNameSizeAndDepthAndEndsInALoop) {
    QTemporaryDir dir;
    QDir root(dir.path());
    ASSERT_TRUE(root.mkpath("one/two"));
    for (const auto& [path, size] :
         {std::pair{"a.wav", 4}, {"one/a.wav", 8}, {"B.wav", 4}, {"one/two/b.wav", 4}}) {
        QFile file(root.filePath(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size);
    }
    ASSERT_TRUE(QFile::link(root.path(), root.filePath("one/two/loop")));
    const std::atomic<bool> raised{true};
    struct Case {
        std::vector<WantedSample> wanted;
        int depth;
        std::vector<QStringList> found; // relative to the root
        const std::atomic<bool>* cancel = nullptr;
    };
    const Case cases[] = {
        {{{"a.wav"}}, -1, {{"a.wav", "one/a.wav"}}},
        {{{"a.wav"}}, 0, {{"a.wav"}}},
        {{{"b.wav"}}, 1, {{}}},
        {{{"b.wav"}, {"a.wav", 8}, {"a.wav", 5}}, 2, {{"one/two/b.wav"}, {"one/a.wav"}, {}}},
        {{{"a.wav"}}, -1, {{}}, &raised},
    };
    for (const Case& c : cases) {
        std::vector<QStringList> expected = c.found;
        for (QStringList& paths : expected) {
            for (QString& path : paths) {
                path = root.filePath(path);
            }
        }
        EXPECT_EQ(SearchSamples(root.path(), c.wanted, {c.depth, c.cancel, {}}), expected)
            << c.wanted.front().fileName.toStdString() << " depth " << c.depth;
    }
}

} // namespace
} // namespace mt
