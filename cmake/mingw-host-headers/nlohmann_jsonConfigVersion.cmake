# SPDX-License-Identifier: Apache-2.0
# The version of the host's nlohmann-json3-dev, as its own file tells it.
set(_ventrac_host_json_version /usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
if(EXISTS ${_ventrac_host_json_version})
  include(${_ventrac_host_json_version})
else()
  set(PACKAGE_VERSION_UNSUITABLE TRUE)
endif()
