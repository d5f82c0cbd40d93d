#include "registry_gen.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace bench {
namespace {

struct Node {
    std::string name;
    std::string properties;  // members of a JSON object, without the braces
    std::string monitor;     // for a proxy: the monitor behind its AV service
    std::vector<Node> children;
};

template <typename... Args>
std::string format(const char* pattern, Args... args)
{
    char text[512];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

int count(const Node& node)
{
    int total = 1;
    for (const Node& child : node.children) total += count(child);
    return total;
}

void write(const Node& node, std::string& out)
{
    out += "{\"name\":\"" + node.name + "\"";
    if (!node.properties.empty()) out += ",\"properties\":{" + node.properties + "}";
    if (!node.monitor.empty()) out += ",\"avservice\":{\"monitor\":\"" + node.monitor + "\"}";
    if (!node.children.empty()) {
        out += ",\"children\":[";
        for (size_t i = 0; i < node.children.size(); ++i) {
            if (i > 0) out += ',';
            write(node.children[i], out);
        }
        out += ']';
    }
    out += '}';
}

// An EDID base block whose serial number field (bytes 12 to 15) holds `serial`.
std::string edidHex(uint32_t serial)
{
    std::string hex = "00FFFFFFFFFFFF0052720000";
    hex += format("%02X%02X%02X%02X", serial & 0xFF, (serial >> 8) & 0xFF, (serial >> 16) & 0xFF,
                  serial >> 24);
    hex += "17200104B53C22783AEE91A3544C99260F50542108008180A9C0D1C0B3009500714F0101";
    hex.append(256 - hex.size(), '0');
    return hex;
}

// One external display: the panel node, then the proxy in a sibling branch.
// 5 entries, or 6 when the proxy carries the UUID in its own subtree.
Node displayBranch(int index)
{
    std::string uuid = displayUuid(index);
    Node panel{"AppleCLCD2",
               "\"EDID UUID\":\"" + uuid + "\",\"EDID\":{\"$data\":\"" +
                   edidHex(0x01A40000u + static_cast<uint32_t>(index)) + "\"}," +
                   format("\"DisplayAttributes\":{\"ProductAttributes\":{\"ProductName\":"
                          "\"Display %d\",\"SerialNumber\":%d,\"ManufacturerID\":\"SIM\","
                          "\"ProductID\":%d,\"YearOfManufacture\":2022},\"SupportsHDR\":false,"
                          "\"NativeFormatHorizontalPixels\":2560,"
                          "\"NativeFormatVerticalPixels\":1440}",
                          index, 27575000 + index, 10000 + index),
               "",
               {}};
    Node proxy{"DCPAVServiceProxy",
               "\"Location\":\"External\",\"EPICProviderClass\":\"AppleDCPDPTXController\"",
               format("m%d", index),
               {}};
    if (index % 2 == 1) {
        proxy.children.push_back(
            {"AppleDCPDisplayEndpoint", "\"EDID UUID\":\"" + uuid + "\"", "", {}});
    }
    Node controller{
        "AppleDCPDPTXController", "\"Link Rate\":20,\"Lane Count\":4", "", {std::move(proxy)}};
    Node port{format("dcpext%d", index),
              format("\"role\":\"DCPEXT%d\"", index),
              "",
              {std::move(controller)}};
    return Node{
        format("dispext%d", index), "\"role\":\"DCPEXT\"", "", {std::move(panel), std::move(port)}};
}

constexpr int kDeviceBranchSize = 12;

// A device branch of kDeviceBranchSize entries: bus, driver, three ports
// each with a device and an interface, and a user client.
Node deviceBranch(int index)
{
    static const char* const kBuses[] = {"usb-drd", "pcie-bridge", "i2c", "spi", "audio-dma"};
    static const char* const kDrivers[] = {"AppleT8199USBXHCI", "AppleT8199PCIeC",
                                           "AppleS5L8940XI2C", "AppleSPIMCController",
                                           "AppleMCA2Cluster"};
    int kind = index % 5;
    Node driver{kDrivers[kind],
                format("\"IOClass\":\"%s\",\"IOProbeScore\":%d,\"IOMatchCategory\":"
                       "\"IODefaultMatchCategory\"",
                       kDrivers[kind], 1000 + index % 7),
                "",
                {}};
    for (int p = 0; p < 3; ++p) {
        Node interface {
            format("IOUSBHostInterface@%d", p),
                format("\"bInterfaceNumber\":%d,\"bInterfaceClass\":%d,\"IOCFPlugInTypes\":"
                       "{\"2d9786c6-9ef3-11d4-ad51-000a27052861\":\"IOUSBFamily.kext\"}",
                       p, 3 + p),
                "",
            {
            }
        };
        Node device{format("device%d@%x", p, 0x01100000 + index * 16 + p),
                    format("\"idVendor\":%d,\"idProduct\":%d,\"USB Product Name\":"
                           "\"Device %d.%d\",\"locationID\":%d",
                           0x05ac, 0x8100 + p, index, p, 0x01100000 + index * 16 + p),
                    "",
                    {std::move(interface)}};
        driver.children.push_back({format("port%d@%d", p, p + 1),
                                   format("\"port-number\":%d,\"UsbPowerSource\":1", p + 1),
                                   "",
                                   {std::move(device)}});
    }
    driver.children.push_back(
        {"IOUserClient",
         "\"IOUserClientCreator\":\"pid 1, launchd\",\"IOUserClientDefaultLocking\":true",
         "",
         {}});
    return Node{
        format("%s%d", kBuses[kind], index),
        format("\"compatible\":[\"%s,t8199\"],\"reg\":{\"$data\":\"%08X00000000\"},"
               "\"device_type\":\"%s\"",
               kBuses[kind], 0x82000000u + static_cast<unsigned>(index) * 0x10000u, kBuses[kind]),
        "",
        {std::move(driver)}};
}

}  // namespace

std::string displayUuid(int index)
{
    return format("5272%04X-E5C3-A401-1720-0104B53C2278", index);
}

std::string generateScenario(int entries, int displays)
{
    std::vector<Node> displayNodes;
    int displayEntries = 0;
    for (int d = 0; d < displays; ++d) {
        displayNodes.push_back(displayBranch(d));
        displayEntries += count(displayNodes.back());
    }
    constexpr int kSpine = 5;  // Root, platform, AppleARMPE, arm-io, AppleT8199IO
    int filler = entries - kSpine - displayEntries;
    if (displays < 1 || displays > 16 || filler < 0) return "";
    int branches = filler / kDeviceBranchSize;
    int leaves = filler % kDeviceBranchSize;

    Node io{"AppleT8199IO", "\"IOClass\":\"AppleT8199IO\"", "", {}};
    // Display d goes after (d + 1) / (displays + 1) of the device branches.
    int nextDisplay = 0;
    for (int b = 0; b <= branches; ++b) {
        while (nextDisplay < displays &&
               static_cast<long>(nextDisplay + 1) * branches / (displays + 1) <= b) {
            io.children.push_back(std::move(displayNodes[static_cast<size_t>(nextDisplay++)]));
        }
        if (b < branches) io.children.push_back(deviceBranch(b));
    }
    for (int l = 0; l < leaves; ++l) {
        io.children.push_back({format("pmgr-domain%d", l), format("\"reg\":%d", l), "", {}});
    }
    Node armIo{
        "arm-io", "\"device_type\":\"t8199-io\",\"clock-frequency\":24000000", "", {std::move(io)}};
    Node pe{"AppleARMPE", "", "", {std::move(armIo)}};
    Node platform{"J901sAP",
                  "\"compatible\":[\"J901sAP\",\"AppleARM\"],"
                  "\"IOPlatformSerialNumber\":\"SIM0000001\"",
                  "",
                  {std::move(pe)}};
    Node root{"Root", "\"IOKitBuildVersion\":\"Simulated kernel\"", "", {std::move(platform)}};

    std::string out = "{\"registry\":";
    write(root, out);
    out += ",\"monitors\":{";
    for (int d = 0; d < displays; ++d) {
        if (d > 0) out += ',';
        out += format("\"m%d\":{\"vcp\":{\"0x10\":{\"current\":50,\"max\":100}}}", d);
    }
    out += "}}";
    return out;
}

}  // namespace bench
