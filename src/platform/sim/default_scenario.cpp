// The machine simulated when no scenario file is given: laid out like an
// Apple-silicon registry, with the built-in panel and two external monitors
// that answer DDC/CI. Each external display has its panel node (AppleCLCD2)
// in its own branch before the DCPAVServiceProxy that carries its I2C
// channel. The left display's proxy has no "EDID UUID" below it, so it is
// only found by searching the proxy's ancestors (which reach the sibling
// panel); the right display's proxy has one in its own subtree. The left
// EDID carries a serial number; the right one's serial field is zero and its
// serial is only in DisplayAttributes. The left monitor's capabilities
// string is longer than thirteen 32-byte fragments and one of its fragments
// ends in ')' well before the end. Each monitor answers every code its
// capabilities list, and no other. Nothing faults.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim_control.h"

namespace sim {
namespace {

constexpr const char* kDefaultScenario = R"json({
  "registry": {
    "name": "Root",
    "properties": {"IOKitBuildVersion": "Simulated kernel", "IORegistryPlanes": {"IOService": "IOService"}},
    "children": [{
      "name": "J901sAP",
      "properties": {"compatible": ["J901sAP", "AppleARM"], "IOPlatformSerialNumber": "SIM0000001"},
      "children": [{
        "name": "AppleARMPE",
        "children": [{
          "name": "arm-io",
          "properties": {"device_type": "t8199-io", "clock-frequency": 24000000},
          "children": [{
            "name": "AppleT8199IO",
            "children": [
              {"name": "pmgr", "children": [{"name": "AppleT8199PMGR"}]},
              {"name": "disp0", "properties": {"role": "DCP"}, "children": [{
                "name": "AppleCLCD2",
                "properties": {
                  "EDID UUID": "3A4F9C0B-0000-0000-0122-0104A5221678",
                  "IOMFBBrightnessLevel": 38338,
                  "DisplayAttributes": {
                    "ProductAttributes": {"ProductName": "Color LCD", "ManufacturerID": "SIM", "ProductID": 40963},
                    "SupportsHDR": true,
                    "MaxBrightness": 1600.0
                  }
                }
              }]},
              {"name": "dispext0", "properties": {"role": "DCPEXT"}, "children": [
                {
                  "name": "AppleCLCD2",
                  "properties": {
                    "EDID UUID": "52721127-E5C3-A401-1720-0104B53C2278",
                    "EDID": {"$data": "00FFFFFFFFFFFF0052721127E5C3A40117200104B53C22783AEE91A3544C99260F50542108008180A9C0D1C0B3009500714F01010101565E00A0A0A029503020350055502100001A000000FD00304B1E731E000A202020202020000000FC005465737361726F20543237510A000000FF005432375132323031413443330A0118020312F0456160101F0423097F0783010000023A801871382D40582C450055502100001A00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000F7"},
                    "DisplayAttributes": {
                      "ProductAttributes": {
                        "ProductName": "Tessaro T27Q",
                        "SerialNumber": 27575269,
                        "ManufacturerID": "TSR",
                        "ProductID": 10001,
                        "YearOfManufacture": 2022,
                        "WeekOfManufacture": 23
                      },
                      "SupportsHDR": false,
                      "NativeFormatHorizontalPixels": 2560,
                      "NativeFormatVerticalPixels": 1440
                    }
                  }
                },
                {"name": "dcpext0", "properties": {"role": "DCPEXT0"}, "children": [{
                  "name": "AppleDCPDPTXController",
                  "properties": {"Link Rate": 20, "Lane Count": 4},
                  "children": [{
                    "name": "DCPAVServiceProxy",
                    "properties": {"Location": "External", "EPICProviderClass": "AppleDCPDPTXController"},
                    "avservice": {"monitor": "left"}
                  }]
                }]}
              ]},
              {"name": "dispext1", "properties": {"role": "DCPEXT"}, "children": [
                {
                  "name": "AppleCLCD2",
                  "properties": {
                    "EDID UUID": "458E2032-0000-0000-0A1F-0104B5462778",
                    "EDID": {"$data": "00FFFFFFFFFFFF00458E2032000000000A1F0104B54627783AEE91A3544C99260F50542108008180A9C0D1C0B3009500714F010101014DD000A0F0703E8030203500B9882100001A000000FD00283C1E8C3C000A202020202020000000FC005175696C6C6F6E205133320A20000000FF00514C333241303733345A4B0A2000CF"},
                    "DisplayAttributes": {
                      "ProductAttributes": {
                        "ProductName": "Quillon Q32",
                        "SerialNumber": 1513886192,
                        "AlphanumericSerialNumber": "QL32A0734ZK",
                        "ManufacturerID": "QLN",
                        "ProductID": 12832,
                        "YearOfManufacture": 2021,
                        "WeekOfManufacture": 10
                      },
                      "SupportsHDR": true,
                      "NativeFormatHorizontalPixels": 3840,
                      "NativeFormatVerticalPixels": 2160
                    }
                  }
                },
                {"name": "dcpext1", "properties": {"role": "DCPEXT1"}, "children": [{
                  "name": "DCPAVServiceProxy",
                  "properties": {"Location": "External", "EPICProviderClass": "AppleDCPDPTXController"},
                  "avservice": {"monitor": "right"},
                  "children": [{
                    "name": "AppleDCPDisplayEndpoint",
                    "properties": {"EDID UUID": "458E2032-0000-0000-0A1F-0104B5462778"}
                  }]
                }]}
              ]},
              {"name": "usb-drd0", "children": [{"name": "AppleT8199USBXHCI", "children": [
                {"name": "XHC0", "properties": {"locationID": 16777216}}
              ]}]}
            ]
          }]
        }]
      }]
    }]
  },
  "monitors": {
    "left": {
      "vcp": {
        "0x02": {"current": 1, "max": 2},
        "0x04": {"current": 0, "max": 1},
        "0x05": {"current": 0, "max": 1},
        "0x08": {"current": 0, "max": 1},
        "0x0B": {"current": 50, "max": 50},
        "0x0C": {"current": 65, "max": 100},
        "0x10": {"current": 60, "max": 100},
        "0x12": {"current": 75, "max": 100},
        "0x14": {"current": 5, "max": 11},
        "0x16": {"current": 50, "max": 100},
        "0x18": {"current": 50, "max": 100},
        "0x1A": {"current": 50, "max": 100},
        "0x52": {"current": 0, "max": 255},
        "0x60": {"current": 15, "max": 18},
        "0x62": {"current": 30, "max": 100},
        "0x6C": {"current": 50, "max": 100},
        "0x6E": {"current": 50, "max": 100},
        "0x70": {"current": 50, "max": 100},
        "0x86": {"current": 2, "max": 10},
        "0x87": {"current": 50, "max": 100},
        "0x8D": {"current": 2, "max": 2},
        "0xAC": {"current": 8880, "max": 65535},
        "0xAE": {"current": 6000, "max": 65535},
        "0xB6": {"current": 3, "max": 9},
        "0xC0": {"current": 3126, "max": 65535},
        "0xC6": {"current": 69, "max": 255},
        "0xC8": {"current": 5, "max": 255},
        "0xC9": {"current": 258, "max": 65535},
        "0xCA": {"current": 2, "max": 2},
        "0xCC": {"current": 2, "max": 30},
        "0xD6": {"current": 1, "max": 5},
        "0xDC": {"current": 0, "max": 5},
        "0xDF": {"current": 514, "max": 514},
        "0xE0": {"current": 0, "max": 1},
        "0xE1": {"current": 0, "max": 1},
        "0xE2": {"current": 0, "max": 20},
        "0xF0": {"current": 0, "max": 5},
        "0xFF": {"current": 0, "max": 1}
      },
      "capabilities": "(prot(monitor)type(LCD)model(T27Q)cmds(01 02 03 07 0C E3 F3)vcp(02 04 05 08 0B 0C 10 12 14(01 04 05 06 08 0B) 16 18 1A 52 60(0F 11 12) 62 6C 6E 70 86(02 05) 87 8D(01 02) AC AE B6 C0 C6 C8 C9 CA(01 02) CC(01 02 03 04 05 06 07 08 09 0A 0C 0D 0E 14 16 1E) D6(01 04 05) DC(00 02 03 05) DF E0 E1 E2(00 01 02 04 0B 0C 0D 0E 0F 10 11 12 14) F0(00 05) FF)mccs_ver(2.2)vcpname(14(Color Preset) 60(Input Source) DC(Picture Mode) E2(Game Mode)))"
    },
    "right": {
      "vcp": {
        "0x02": {"current": 1, "max": 2},
        "0x04": {"current": 0, "max": 1},
        "0x05": {"current": 0, "max": 1},
        "0x08": {"current": 0, "max": 1},
        "0x0B": {"current": 50, "max": 50},
        "0x0C": {"current": 65, "max": 100},
        "0x10": {"current": 60, "max": 100},
        "0x12": {"current": 50, "max": 100},
        "0x14": {"current": 8, "max": 11},
        "0x16": {"current": 50, "max": 100},
        "0x18": {"current": 50, "max": 100},
        "0x1A": {"current": 50, "max": 100},
        "0x60": {"current": 17, "max": 18},
        "0x62": {"current": 45, "max": 100},
        "0x8D": {"current": 2, "max": 2},
        "0xAC": {"current": 13500, "max": 65535},
        "0xAE": {"current": 6000, "max": 65535},
        "0xB6": {"current": 3, "max": 9},
        "0xC0": {"current": 1207, "max": 65535},
        "0xC6": {"current": 69, "max": 255},
        "0xC8": {"current": 7, "max": 255},
        "0xD6": {"current": 1, "max": 4},
        "0xDF": {"current": 514, "max": 514}
      },
      "capabilities": "(prot(monitor)type(LCD)model(Q32)cmds(01 02 03 07 0C E3 F3)vcp(02 04 05 08 0B 0C 10 12 14(05 08 0B) 16 18 1A 60(0F 10 11 12) 62 8D(01 02) AC AE B6 C0 C6 C8 D6(01 04) DF)mccs_ver(2.2))"
    }
  }
})json";

}  // namespace

std::string_view defaultScenarioText()
{
    return kDefaultScenario;
}

void loadDefaultScenario()
{
    std::string error;
    if (!loadScenarioText(kDefaultScenario, &error)) {
        // The text is compiled in; failing to load it is a defect of the build.
        std::fprintf(stderr, "simulated platform: built-in scenario: %s\n", error.c_str());
        std::abort();
    }
}

}  // namespace sim
