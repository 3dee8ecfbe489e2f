# No task without an owner: a QCoro task that is started and dropped runs on with nothing to end it, so every
# library here is compiled against a copy of QCoro's headers whose task type is [[nodiscard]], and a dropped task
# is a build error. TaskOwner::own is the one place that lets a task go, on purpose.

set(orvane_qcoro_root "")
foreach(dir IN LISTS QCoro6Core_INCLUDE_DIRS QCoro6_INCLUDE_DIRS)
    if(EXISTS "${dir}/qcoro/qcorotask.h")
        set(orvane_qcoro_root "${dir}")
        break()
    endif()
endforeach()
if(NOT orvane_qcoro_root)
    get_target_property(orvane_qcoro_dirs QCoro6::Core INTERFACE_INCLUDE_DIRECTORIES)
    foreach(dir IN LISTS orvane_qcoro_dirs)
        if(EXISTS "${dir}/qcoro/qcorotask.h")
            set(orvane_qcoro_root "${dir}")
            break()
        endif()
    endforeach()
endif()
if(NOT orvane_qcoro_root)
    message(FATAL_ERROR "ORVANE_OWNED_TASKS: QCoro's qcoro/qcorotask.h was not found")
endif()

# Copied with their times and written only when changed, so that configuring again rebuilds nothing.
set(orvane_owned_root "${CMAKE_BINARY_DIR}/owned-tasks/qcoro6")
file(COPY "${orvane_qcoro_root}/" DESTINATION "${orvane_owned_root}" PATTERN "qcorotask.h" EXCLUDE)
file(READ "${orvane_qcoro_root}/qcoro/qcorotask.h" orvane_task_header)
string(REPLACE "template<typename T>\nclass Task {" "template<typename T>\nclass [[nodiscard]] Task {"
               orvane_owned_header "${orvane_task_header}")
if(orvane_owned_header STREQUAL orvane_task_header)
    message(FATAL_ERROR "ORVANE_OWNED_TASKS: this QCoro's task type could not be marked [[nodiscard]]")
endif()
file(WRITE "${CMAKE_BINARY_DIR}/owned-tasks/qcorotask.h.new" "${orvane_owned_header}")
file(COPY_FILE "${CMAKE_BINARY_DIR}/owned-tasks/qcorotask.h.new" "${orvane_owned_root}/qcoro/qcorotask.h"
     ONLY_IF_DIFFERENT)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${orvane_qcoro_root}/qcoro/qcorotask.h")

# Ahead of QCoro's own folders, so that its headers' quoted includes stay inside the copy.
include_directories(BEFORE SYSTEM "${orvane_owned_root}" "${orvane_owned_root}/QCoro" "${orvane_owned_root}/qcoro")
add_compile_options(-Werror=unused-result)
