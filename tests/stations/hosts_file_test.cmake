# The station hosts file as a distributor writes it: each malformed file stops the generator
# with a message that names the file's line, and a good file of other hosts (CRLF line ends,
# tabs) lands in the header exactly. Run by CTest:
#     cmake -DSOURCE_DIR=<source> -DWORK_DIR=<scratch> -P hosts_file_test.cmake
cmake_policy(VERSION 3.25)
set(generator ${SOURCE_DIR}/stations/hosts.cmake)
file(READ ${SOURCE_DIR}/stations/hosts.txt default)
file(MAKE_DIRECTORY ${WORK_DIR})
set(failures 0)

# Writes ${text} as a hosts file and runs the generator on it.
function(generate name text result_var output_var)
    file(WRITE ${WORK_DIR}/${name}.txt "${text}")
    file(REMOVE ${WORK_DIR}/${name}.h)
    execute_process(COMMAND ${CMAKE_COMMAND} -DHOSTS_FILE=${WORK_DIR}/${name}.txt
                            -DHOSTS_HEADER=${WORK_DIR}/${name}.h -P ${generator}
                    RESULT_VARIABLE result ERROR_VARIABLE error OUTPUT_VARIABLE output)
    string(REGEX REPLACE "[ \t\r\n]+" " " error "${error}")
    set(${result_var} ${result} PARENT_SCOPE)
    set(${output_var} "${error}" PARENT_SCOPE)
endfunction()

# The default file with the line of ${key} replaced by ${line}; ${number_var} gets its number.
function(with_line key line text_var number_var)
    string(FIND "${default}" "\n${key} " at)
    string(SUBSTRING "${default}" 0 ${at} before)
    string(REGEX MATCHALL "\n" breaks "${before}")
    list(LENGTH breaks count)
    math(EXPR number "${count} + 2")
    string(REGEX REPLACE "\n${key} [^\n]*" "\n${line}" text "${default}")
    set(${text_var} "${text}" PARENT_SCOPE)
    set(${number_var} ${number} PARENT_SCOPE)
endfunction()

# case name; the key whose line is replaced; the new line; what the message must say
set(cases
    "address part over 255|josh|josh 198.51.100.256|bad value for 'josh'"
    "address with leading zero|metro|metro 192.0.2.017|bad value for 'metro'"
    "name where an address belongs|foorti|foorti radio.example.com|bad value for 'foorti'"
    "address where a name belongs|adda|adda 10.0.0.1|bad value for 'adda'"
    "name with an underscore|oniyom|oniyom oni_yom.example.org|bad value for 'oniyom'"
    "name with an empty part|apon|apon apon..example.net|bad value for 'apon'"
    "account with a slash|aponAccount|aponAccount radio/apon|bad value for 'aponAccount'"
    "user id in capitals|recordingsUserId|recordingsUserId 5F2B9C0D4E8A71F36B0C9D2E4A5F8B1C7D3E6F09A2B4C8D1E5F7A3B6C9D0E2F4|bad value for 'recordingsUserId'"
    "user id too short|recordingsUserId|recordingsUserId 5f2b9c0d|bad value for 'recordingsUserId'"
    "two values|betar|betar 203.0.113.33 203.0.113.34|expected a name and one value"
    "value with a quote|techvision|techvision tech\"vision.example.net|bad value for 'techvision'"
    "unknown name|bijoy|bijoyy 203.0.113.30|unknown name 'bijoyy'"
    "name alone|lemon24|lemon24|expected a name and one value"
    "a semicolon does not split the line|dhaka|dhaka 192.0.2.15<semi>1.2.3.4|bad value for 'dhaka'"
)
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 title)
    list(GET parts 1 key)
    list(GET parts 2 line)
    list(GET parts 3 expected)
    with_line(${key} "${line}" text number)
    string(REPLACE "<semi>" ";" text "${text}")
    string(MAKE_C_IDENTIFIER "${title}" name)
    generate(${name} "${text}" result message)
    if(result EQUAL 0 OR EXISTS ${WORK_DIR}/${name}.h
       OR NOT message MATCHES "${name}\\.txt, line ${number}: "
       OR NOT message MATCHES "${expected}")
        message(SEND_ERROR "FAIL ${title}: result ${result}, expected line ${number} and "
                           "'${expected}', got: ${message}")
        math(EXPR failures "${failures} + 1")
    else()
        message(STATUS "PASS ${title}: ${message}")
    endif()
endforeach()

# A repeated setting names both lines; a missing one names the setting.
generate(repeated "${default}josh 198.51.100.99\n" result message)
string(REGEX MATCHALL "\n" breaks "${default}")
list(LENGTH breaks last)
math(EXPR last "${last} + 1")
if(result EQUAL 0 OR NOT message MATCHES "line ${last}: 'josh' is given again \\(first on line")
    message(SEND_ERROR "FAIL repeated setting: ${message}")
    math(EXPR failures "${failures} + 1")
endif()
string(REGEX REPLACE "\nbetar [^\n]*" "" missing "${default}")
generate(missing "${missing}" result message)
if(result EQUAL 0 OR NOT message MATCHES "no line gives 'betar'")
    message(SEND_ERROR "FAIL missing setting: ${message}")
    math(EXPR failures "${failures} + 1")
endif()

# A distributor's own hosts, with tabs and CRLF line ends, reach the header unchanged.
string(REGEX REPLACE "\njosh [^\n]*" "\njosh\t10.20.30.40\t# mine" good "${default}")
string(REGEX REPLACE "\nadda [^\n]*" "\nadda stream-1.radio-adda.com" good "${good}")
string(REPLACE "\n" "\r\n" good "${good}")
generate(good "${good}" result message)
if(NOT result EQUAL 0)
    message(SEND_ERROR "FAIL a good file is refused: ${message}")
    math(EXPR failures "${failures} + 1")
else()
    file(READ ${WORK_DIR}/good.h header)
    foreach(want "josh[] = \"10.20.30.40\";" "adda[] = \"stream-1.radio-adda.com\";"
                 "foorti[] = \"192.0.2.14\";")
        string(FIND "${header}" "${want}" at)
        if(at EQUAL -1)
            message(SEND_ERROR "FAIL the header lacks ${want}")
            math(EXPR failures "${failures} + 1")
        endif()
    endforeach()
endif()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} check(s) failed")
endif()
