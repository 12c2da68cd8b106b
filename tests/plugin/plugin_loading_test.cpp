#include <host/zel_interface.h>

#include "host_state.h"

#include <QLibrary>
#include <QPluginLoader>
#include <QPointer>

#include <gtest/gtest.h>

const char *const kPath = AB_EIP_PLUGIN_PATH;

TEST(PluginLoading, MetadataHoldsOnlyIidAndClassName)
{
    QPluginLoader loader(kPath);
    const QJsonObject meta = loader.metaData();
    ASSERT_FALSE(meta.isEmpty()) << qPrintable(loader.errorString());
    EXPECT_EQ(meta.value("IID").toString(), QStringLiteral(ZELInterface_iid));
    EXPECT_EQ(meta.value("className").toString(), "AB_EIP");
    EXPECT_TRUE(meta.value("MetaData").toObject().isEmpty());
}

TEST(PluginLoading, InstanceIsTheHostInterface)
{
    zel_host::reset();
    QPluginLoader loader(kPath);
    QObject *object = loader.instance();
    ASSERT_NE(object, nullptr) << qPrintable(loader.errorString());
    EXPECT_STREQ(object->metaObject()->className(), "AB_EIP");
    ZELInterface *plugin = qobject_cast<ZELInterface *>(object);
    ASSERT_NE(plugin, nullptr);

    // init() through the interface reaches the host library shared with this test.
    EXPECT_TRUE(plugin->init());
    ASSERT_EQ(zel_host::initPluginCalls().size(), 1);
    EXPECT_EQ(zel_host::initPluginCalls()[0].name, "ab_eip");
    EXPECT_TRUE(plugin->stopPlugin());
    EXPECT_EQ(zel_host::logTexts(zel_host::LogLevel::Info), QStringList({"Stopping plugin", "Plugin stopped"}));
    zel_host::reset();
}

TEST(PluginLoading, OneLiveInstancePerProcess)
{
    QLibrary lib(kPath);
    auto instance = reinterpret_cast<QObject *(*)()>(lib.resolve("qt_plugin_instance"));
    ASSERT_NE(instance, nullptr) << qPrintable(lib.errorString());
    QPointer<QObject> first = instance();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(instance(), first.data());

    QPluginLoader loader(kPath);
    EXPECT_EQ(loader.instance(), first.data());

    delete first.data();
    EXPECT_TRUE(first.isNull());
    QPointer<QObject> second = instance();
    ASSERT_FALSE(second.isNull());
    EXPECT_EQ(instance(), second.data());
    // Deleting through the interface is as good as through QObject.
    delete qobject_cast<ZELInterface *>(second.data());
    EXPECT_TRUE(second.isNull());
}
