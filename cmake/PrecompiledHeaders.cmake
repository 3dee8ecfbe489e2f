# Precompiled headers. The Qt and standard headers that nearly every file includes are compiled once per kind
# of target (without widgets, with widgets) and reused by every target of that kind, which takes
# about half of the compile time out of a clean build. Off with -DORVANE_PCH=OFF.

set(ORVANE_PCH_CORE_HEADERS
    <QByteArray> <QColor> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QImage> <QList> <QObject> <QPointer>
    <QSize> <QString> <QStringList> <QTimer> <QUrl> <QUuid> <QVariant>
    <algorithm> <cmath> <functional> <memory> <optional> <vector>)
set(ORVANE_PCH_WIDGET_HEADERS
    ${ORVANE_PCH_CORE_HEADERS}
    <QAbstractButton> <QApplication> <QHBoxLayout> <QLabel> <QPainter> <QPainterPath> <QPushButton>
    <QVBoxLayout> <QWidget>)

set(orvane_pch_source "${CMAKE_BINARY_DIR}/orvane_pch_empty.cpp")
file(CONFIGURE OUTPUT "${orvane_pch_source}" CONTENT "// Hosts the precompiled headers the other targets reuse.\n")

add_library(orvane_pch_core STATIC "${orvane_pch_source}")
target_link_libraries(orvane_pch_core PRIVATE Qt6::Core Qt6::Gui)
target_precompile_headers(orvane_pch_core PRIVATE ${ORVANE_PCH_CORE_HEADERS})

add_library(orvane_pch_widgets STATIC "${orvane_pch_source}")
target_link_libraries(orvane_pch_widgets PRIVATE Qt6::Widgets)
target_precompile_headers(orvane_pch_widgets PRIVATE ${ORVANE_PCH_WIDGET_HEADERS})

# QTest stays out: its headers read QT_TESTCASE_BUILDDIR, which differs in every test folder.

include(${CMAKE_CURRENT_LIST_DIR}/TargetGraph.cmake)

# Gives every library and executable below `directory` the precompiled headers of its kind.
function(orvane_use_precompiled_headers directory)
    orvane_targets_below(${directory} targets)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$" OR target MATCHES "^orvane_pch_")
            continue()
        endif()
        orvane_links_library(${target} Qt6::Widgets widgets)
        orvane_links_library(${target} Qt6::Gui gui)
        if(widgets)
            target_precompile_headers(${target} REUSE_FROM orvane_pch_widgets)
        elseif(gui)
            target_precompile_headers(${target} REUSE_FROM orvane_pch_core)
        endif()
    endforeach()
endfunction()
