#include "plugin/ab_eip.h"

#include "fake_plctag.h"

#include <gtest/gtest.h>

class StatusText : public ::testing::Test {
protected:
    void SetUp() override { fake_plctag::reset(); }
};

TEST_F(StatusText, FixedTexts)
{
    EXPECT_EQ(AB_EIP::errorMessage(0), "OK");
    EXPECT_EQ(AB_EIP::errorMessage(-3), "Could not connect to the PLC");
    EXPECT_EQ(AB_EIP::errorMessage(-5), "The PLC did not accept the request");
    EXPECT_EQ(AB_EIP::errorMessage(-6), "Could not reach the PLC through the network path");
    EXPECT_EQ(AB_EIP::errorMessage(-7), "The tag address or data type is not valid");
    EXPECT_EQ(AB_EIP::errorMessage(-11), "Could not open a connection to the PLC");
    EXPECT_EQ(AB_EIP::errorMessage(-26), AB_EIP::errorMessage(-11));
    EXPECT_EQ(AB_EIP::errorMessage(-19), "The tag was not found on the PLC");
    EXPECT_EQ(AB_EIP::errorMessage(-21), "The PLC returned no data");
    EXPECT_EQ(AB_EIP::errorMessage(-29), "The PLC reported a communication error");
    EXPECT_EQ(AB_EIP::errorMessage(-32), "Timed out waiting for the PLC");
    EXPECT_EQ(AB_EIP::errorMessage(-33), "The requested data is too large");
    EXPECT_EQ(AB_EIP::errorMessage(-35), "This request is not supported by the PLC");
    EXPECT_EQ(AB_EIP::errorMessage(-38), "The PLC returned only part of the requested data");
    EXPECT_EQ(AB_EIP::errorMessage(-39), "The PLC is busy, try again");
}

TEST_F(StatusText, FallbackCleansTheLibraryName)
{
    // The library's names are only the input here; the real names are checked end to end.
    EXPECT_EQ(AB_EIP::errorMessage(-1), "abort");
    EXPECT_EQ(AB_EIP::errorMessage(-27), "out of bounds");
    EXPECT_EQ(AB_EIP::errorMessage(1), "plctag status pending");
    EXPECT_EQ(AB_EIP::errorMessage(-40), "unknown error.");
    fake_plctag::setErrorName(-2, "PLCTAG_ERR_");
    EXPECT_EQ(AB_EIP::errorMessage(-2), "PLC communication failed");
    fake_plctag::setErrorName(-4, "  _ _ ");
    EXPECT_EQ(AB_EIP::errorMessage(-4), "PLC communication failed");
    fake_plctag::setErrorName(-12, "PLCTAG_ERR_DUPLICATE_PLCTAG_ERR_NAME");
    EXPECT_EQ(AB_EIP::errorMessage(-12), "duplicate name");
    fake_plctag::setErrorName(-13, nullptr);
    EXPECT_EQ(AB_EIP::errorMessage(-13), "PLC communication failed");
}
