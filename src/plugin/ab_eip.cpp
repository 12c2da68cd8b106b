#include "ab_eip.h"

// Process-wide state, shared by every AB_EIP object. Definition order is initialisation order.
TagCache AB_EIP::tags;
QMutex AB_EIP::listMutex;
const QRegularExpression AB_EIP::offsetMatches(QStringLiteral(".*\\[\\s*(\\d+)\\s*-\\s*(\\d+)\\s*\\]"),
                                               QRegularExpression::CaseInsensitiveOption);
bool AB_EIP::loopActive = false;

AB_EIP::AB_EIP() : QObject(nullptr) {}

// Open tags belong to the process-wide cache and outlive the object; stopPlugin() closes them.
AB_EIP::~AB_EIP() = default;

bool AB_EIP::getEventData(LogList *)
{
    return true; // this driver produces no event data
}

bool AB_EIP::logCallback(LogList *)
{
    return true;
}
