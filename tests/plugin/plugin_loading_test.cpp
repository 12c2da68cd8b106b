#include <host/zel_interface.h>

#include "host_state.h"

#include <QLibrary>
#include <QPluginLoader>
#include <QPointer>

#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

namespace {

const char *const kPath = AB_EIP_PLUGIN_PATH;

// Keys of the plugin's raw metadata: a CBOR map after a 16-byte header, integer keys and
// text values only (what the Qt 5 plugin tooling writes). Returns false on anything else.
bool rawMetadataKeys(const unsigned char *p, std::map<int, std::string> *out)
{
    if (std::memcmp(p, "QTMETADATA !", 12) != 0)
        return false;
    p += 16;
    if (*p++ != 0xbf) // indefinite-length map
        return false;
    for (int guard = 0; guard < 16; ++guard) {
        if (*p == 0xff)
            return true;
        if ((*p >> 5) != 0 || (*p & 0x1f) > 23) // small unsigned key
            return false;
        const int key = *p++ & 0x1f;
        if ((*p >> 5) != 3) // text string
            return false;
        size_t len = *p & 0x1f;
        ++p;
        if (len == 24)
            len = *p++;
        else if (len > 24)
            return false;
        (*out)[key] = std::string(reinterpret_cast<const char *>(p), len);
        p += len;
    }
    return false;
}

} // namespace

TEST(PluginLoading, MetadataHoldsOnlyIidAndClassName)
{
    QPluginLoader loader(kPath);
    const QJsonObject meta = loader.metaData();
    ASSERT_FALSE(meta.isEmpty()) << qPrintable(loader.errorString());
    EXPECT_EQ(meta.value("IID").toString(), QStringLiteral(ZELInterface_iid));
    EXPECT_TRUE(meta.value("IID").toString().endsWith("/1.0.7"));
    EXPECT_EQ(meta.value("className").toString(), "AB_EIP");
    EXPECT_TRUE(meta.value("MetaData").toObject().isEmpty());

    QLibrary lib(kPath);
    auto query = reinterpret_cast<const unsigned char *(*)()>(lib.resolve("qt_plugin_query_metadata"));
    ASSERT_NE(query, nullptr) << qPrintable(lib.errorString());
    std::map<int, std::string> keys;
    ASSERT_TRUE(rawMetadataKeys(query(), &keys));
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[2], ZELInterface_iid); // IID
    EXPECT_EQ(keys[3], "AB_EIP");         // className
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
    EXPECT_TRUE(plugin->getEventData(nullptr));
    EXPECT_TRUE(plugin->logCallback(nullptr));

    // Type queries: the interface by name and by identifier give the same part.
    void *byName = object->qt_metacast("ZELInterface");
    void *byIid = object->qt_metacast(ZELInterface_iid);
    EXPECT_EQ(byName, static_cast<void *>(plugin));
    EXPECT_EQ(byIid, byName);
    EXPECT_EQ(object->qt_metacast("AB_EIP"), static_cast<void *>(object));
    EXPECT_EQ(object->qt_metacast("QObject"), static_cast<void *>(object));
    EXPECT_EQ(object->qt_metacast("Nope"), nullptr);
    EXPECT_EQ(object->metaObject()->methodCount(), QObject::staticMetaObject.methodCount());
    EXPECT_EQ(object->metaObject()->propertyCount(), QObject::staticMetaObject.propertyCount());

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
