#include "plugin/ab_eip.h"
#include "tags/controller_profile.h"

#include "fake_plctag.h"

#include <gtest/gtest.h>

TEST(DataTypes, ElementSizesAndControllerNames)
{
    const int sizes[] = {1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4, 88, 8, 8, 8};
    for (int t = -1; t <= 15; ++t)
        EXPECT_EQ(AB_EIP::getDataLength(AB_EIP::DataType(t)), t < 0 || t > 14 ? 1 : sizes[t]) << "type " << t;
    const char *plc[] = {"micro800", "micrologix", "compactlogix", "slc500", "plc5", "controllogix", "flgx", "omron-njnx"};
    for (int t = -1; t <= 8; ++t)
        EXPECT_EQ(AB_EIP::getCpu(AB_EIP::ControllerType(t)), QLatin1String(t < 0 || t > 7 ? "lgx" : plc[t]));
}

TEST(DataTypes, Micro800RecognisedByNameOrCatalogNumber)
{
    for (const char *yes : {"  Micro850 Line 3  ", "MICRO870", "2080-LC50-24QWB", "2080-L50E", "2080-l70e-24qwb"})
        EXPECT_TRUE(eip_identity::isMicro800(yes)) << yes;
    for (const char *no : {"2080-LC40", "1769-L33ER", "Micro 850", "", "   "})
        EXPECT_FALSE(eip_identity::isMicro800(no)) << no;
}

TEST(DataTypes, StatusTexts)
{
    fake_plctag::reset();
    const struct {
        int status;
        const char *text;
    } cases[] = {
        {0, "OK"},
        {-3, "Could not connect to the PLC"},
        {-5, "The PLC did not accept the request"},
        {-6, "Could not reach the PLC through the network path"},
        {-7, "The tag address or data type is not valid"},
        {-11, "Could not open a connection to the PLC"},
        {-26, "Could not open a connection to the PLC"},
        {-19, "The tag was not found on the PLC"},
        {-21, "The PLC returned no data"},
        {-29, "The PLC reported a communication error"},
        {-32, "Timed out waiting for the PLC"},
        {-33, "The requested data is too large"},
        {-35, "This request is not supported by the PLC"},
        {-38, "The PLC returned only part of the requested data"},
        {-39, "The PLC is busy, try again"},
        // Anything else: the library's status name, made readable.
        {-1, "abort"},
        {-27, "out of bounds"},
        {1, "plctag status pending"},
        {-40, "unknown error."},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AB_EIP::errorMessage(c.status), c.text) << c.status;
    const struct {
        int status;
        const char *name;
        const char *text;
    } names[] = {{-2, "PLCTAG_ERR_", "PLC communication failed"},
                 {-9, "  _ _ ", "PLC communication failed"},
                 {-12, "PLCTAG_ERR_DUPLICATE_PLCTAG_ERR_NAME", "duplicate name"},
                 {-13, nullptr, "PLC communication failed"}};
    for (const auto &n : names) {
        fake_plctag::setErrorName(n.status, n.name);
        EXPECT_EQ(AB_EIP::errorMessage(n.status), n.text) << n.status;
    }
}
