#pragma once
// The one place where backend types become visible to QML.
void registerQmlTypes();
