// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextLoader.h"
#include "update/UpdManager.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace
{
// Many threads race for the first instance; all must get the same, fully built object.
template <typename Singleton>
void expectOneInstanceUnderRace()
{
    Singleton::deleteInstance();

    std::atomic<bool> go{false};
    std::vector<Singleton*> seen(8, nullptr);
    std::vector<std::thread> threads;

    for (auto& slot : seen)
        threads.emplace_back(
            [&go, &slot]
            {
                while (!go.load())
                    std::this_thread::yield();
                slot = Singleton::getInstance();
            });

    go = true;
    for (auto& t : threads)
        t.join();

    ASSERT_NE(seen.front(), nullptr);
    for (auto* instance : seen)
        EXPECT_EQ(instance, seen.front());

    Singleton::deleteInstance();
    auto* fresh = Singleton::getInstance();
    EXPECT_NE(fresh, nullptr);
    Singleton::deleteInstance();
}
} // namespace

TEST(Singletons, UpdManagerIsCreatedOnceAndAfreshAfterDeletion)
{
    expectOneInstanceUnderRace<UpdManager>();
    EXPECT_EQ(UpdManager::getInstance()->message, nullptr);
    UpdManager::deleteInstance();
}

TEST(Singletons, TextLoaderIsCreatedOnceAndAfreshAfterDeletion)
{
    expectOneInstanceUnderRace<TextLoader>();
    EXPECT_LT(TextLoader::getInstance()->getLocale(), 12u);
    TextLoader::deleteInstance();
}
