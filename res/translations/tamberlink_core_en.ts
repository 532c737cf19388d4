<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CProgrammerSession</name>
    <message>
        <source>初始化串口通讯失败.</source>
        <translation>Serial link initialisation failed.</translation>
    </message>
    <message>
        <source>初始化并口失败.</source>
        <translation>Parallel port initialisation failed.</translation>
    </message>
    <message>
        <source>初始化串口通讯完成.</source>
        <translation>Serial link initialised.</translation>
    </message>
    <message>
        <source>未初始化串口.</source>
        <translation>Serial port not initialised.</translation>
    </message>
    <message>
        <source>初始化并口完成.</source>
        <translation>Parallel port initialised.</translation>
    </message>
    <message>
        <source>编程器:就绪.</source>
        <translation>Programmer: ready.</translation>
    </message>
    <message>
        <source>编程器:不可用.</source>
        <translation>Programmer: not available.</translation>
    </message>
    <message>
        <source>接收数据时发生错误.</source>
        <translation>Error while receiving data.</translation>
    </message>
    <message>
        <source>编程器:擦除器件完成.</source>
        <translation>Programmer: device erased.</translation>
    </message>
    <message>
        <source>编程器:写器件开始.</source>
        <translation>Programmer: write started.</translation>
    </message>
    <message>
        <source>写入%d字节...</source>
        <translation>Writing %d bytes...</translation>
    </message>
    <message>
        <source>正在写:%04X/%04X</source>
        <translation>Writing %04X/%04X</translation>
    </message>
    <message>
        <source>编程器:写器件完成.</source>
        <translation>Programmer: write finished.</translation>
    </message>
    <message>
        <source>写器件完成</source>
        <translation>Write finished</translation>
    </message>
    <message>
        <source>编程器:写器件时发生错误.</source>
        <translation>Programmer: error while writing.</translation>
    </message>
    <message>
        <source>编程器:读器件开始.</source>
        <translation>Programmer: read started.</translation>
    </message>
    <message>
        <source>正在读:%04X/%04X</source>
        <translation>Reading %04X/%04X</translation>
    </message>
    <message>
        <source>编程器:读器件完成.</source>
        <translation>Programmer: read finished.</translation>
    </message>
    <message>
        <source>读器件完成</source>
        <translation>Read finished</translation>
    </message>
    <message>
        <source>数据已经保存到缓冲2.</source>
        <translation>The data is now in buffer 2.</translation>
    </message>
    <message>
        <source>编程器:写锁定位完成.</source>
        <translation>Programmer: lock bits written.</translation>
    </message>
    <message>
        <source>编程器:无效的操作.</source>
        <translation>Programmer: invalid operation.</translation>
    </message>
    <message>
        <source>编程器:检测到器件(特征字:%02x %02x %02x).</source>
        <translation>Programmer: device detected (signature: %02x %02x %02x).</translation>
    </message>
    <message>
        <source>编程器:没检测到器件(特征字:%02x %02x %02x).</source>
        <translation>Programmer: no device detected (signature: %02x %02x %02x).</translation>
    </message>
    <message>
        <source>%s - ROM容量:%dK字节. 编程电压:%sV.</source>
        <translation>%s - ROM size: %d KB. Programming voltage: %sV.</translation>
    </message>
    <message>
        <source>编程器:操作超时,没有响应.</source>
        <translation>Programmer: timed out, no response.</translation>
    </message>
    <message>
        <source>请先打开文件.</source>
        <translation>Open a file first.</translation>
    </message>
    <message>
        <source>打开文件失败.</source>
        <translation>Could not open the file.</translation>
    </message>
    <message>
        <source>读入文件 %s 失败.</source>
        <translation>Loading file %s failed.</translation>
    </message>
    <message>
        <source>读入文件 %s 到缓冲1(%ld字节).</source>
        <translation>Loaded file %s into buffer 1 (%ld bytes).</translation>
    </message>
    <message>
        <source>保存文件失败: %s (%s)</source>
        <translation>Could not save the file: %s (%s)</translation>
    </message>
    <message>
        <source>缓冲2保存到文件 %s(%d字节).</source>
        <translation>Buffer 2 saved to file %s (%d bytes).</translation>
    </message>
    <message>
        <source>---------------效验开始--------------</source>
        <translation>--------------- Verify started ---------------</translation>
    </message>
    <message>
        <source>    %05d - 地址:%04X  写:%02X  读:%02X</source>
        <translation>    %05d - Address:%04X  Written:%02X  Read:%02X</translation>
    </message>
    <message>
        <source>----------效验成功,数据正确----------</source>
        <translation>---------- Verify passed, data correct ----------</translation>
    </message>
    <message>
        <source>共发现%5d个单元不对!</source>
        <translation>Found %5d differing bytes!</translation>
    </message>
    <message>
        <source>---------效验结束，数据有误----------</source>
        <translation>---------- Verify finished, data wrong ----------</translation>
    </message>
</context>
<context>
    <name>CCommandButton</name>
    <message>
        <source>检测芯片ID</source>
        <translation>Detect ID</translation>
    </message>
    <message>
        <source>装入文件</source>
        <translation>Load file</translation>
    </message>
    <message>
        <source>保存文件</source>
        <translation>Save file</translation>
    </message>
    <message>
        <source>檫除器件</source>
        <translation>Erase device</translation>
    </message>
    <message>
        <source>写器件</source>
        <translation>Write device</translation>
    </message>
    <message>
        <source>读器件</source>
        <translation>Read device</translation>
    </message>
    <message>
        <source>效验数据</source>
        <translation>Verify data</translation>
    </message>
    <message>
        <source>自动完成</source>
        <translation>Auto run</translation>
    </message>
    <message>
        <source>加密操作</source>
        <translation>Lock</translation>
    </message>
    <message>
        <source>(自动)</source>
        <translation>(Auto) </translation>
    </message>
</context>
<context>
    <name>PortFailureText</name>
    <message>
        <source>串口</source>
        <translation>Serial port</translation>
    </message>
    <message>
        <source>并口</source>
        <translation>Parallel port</translation>
    </message>
    <message>
        <source>没有串口硬件(UART)</source>
        <translation>no serial port hardware (UART)</translation>
    </message>
    <message>
        <source>请选择编程器所接的串口</source>
        <translation>choose the port the programmer is on</translation>
    </message>
    <message>
        <source>请把用户加入 dialout 组</source>
        <translation>add the user to group dialout</translation>
    </message>
    <message>
        <source>另一个程序正在使用该串口</source>
        <translation>another program is using this port</translation>
    </message>
    <message>
        <source>请检查连线和串口设置</source>
        <translation>check the cable and the port setting</translation>
    </message>
    <message>
        <source>请把用户加入 lp 组</source>
        <translation>add the user to group lp</translation>
    </message>
    <message>
        <source>另一个程序或 lp 驱动正在使用并口</source>
        <translation>another program or the lp driver is using the parallel port</translation>
    </message>
    <message>
        <source>请加载 ppdev 模块: sudo modprobe ppdev</source>
        <translation>load the ppdev module: sudo modprobe ppdev</translation>
    </message>
    <message>
        <source>不允许的操作</source>
        <translation>Operation not permitted</translation>
    </message>
    <message>
        <source>没有那个文件或目录</source>
        <translation>No such file or directory</translation>
    </message>
    <message>
        <source>输入/输出错误</source>
        <translation>Input/output error</translation>
    </message>
    <message>
        <source>没有那个设备或地址</source>
        <translation>No such device or address</translation>
    </message>
    <message>
        <source>权限不够</source>
        <translation>Permission denied</translation>
    </message>
    <message>
        <source>设备或资源忙</source>
        <translation>Device or resource busy</translation>
    </message>
    <message>
        <source>没有那个设备</source>
        <translation>No such device</translation>
    </message>
    <message>
        <source>不是目录</source>
        <translation>Not a directory</translation>
    </message>
    <message>
        <source>是一个目录</source>
        <translation>Is a directory</translation>
    </message>
    <message>
        <source>只读文件系统</source>
        <translation>Read-only file system</translation>
    </message>
    <message>
        <source>对设备不适当的 ioctl 操作</source>
        <translation>Inappropriate ioctl for device</translation>
    </message>
    <message>
        <source>符号链接的层数过多</source>
        <translation>Too many levels of symbolic links</translation>
    </message>
    <message>
        <source>资源暂时不可用</source>
        <translation>Resource temporarily unavailable</translation>
    </message>
    <message>
        <source>无效的参数</source>
        <translation>Invalid argument</translation>
    </message>
    <message>
        <source>函数未实现</source>
        <translation>Function not implemented</translation>
    </message>
</context>
<context>
    <name>GpioWiring</name>
    <message>
        <source>该芯片只有 0 到 %d 号线, 请检查 Quenby.ini 的 [GPIO] 节</source>
        <translation>the chip has lines 0 to %d only: check the [GPIO] section of Quenby.ini</translation>
    </message>
    <message>
        <source>请安装 60-tamberlink.rules 规则后重新登录, 或把用户加入 gpio 组</source>
        <translation>install the 60-tamberlink.rules rules and log in again, or add the user to group gpio</translation>
    </message>
    <message>
        <source>gpiodetect 列出 GPIO 芯片; 请检查 --port 或 Quenby.ini 的 [GPIO] 节</source>
        <translation>gpiodetect lists the GPIO chips: check --port or the [GPIO] section of Quenby.ini</translation>
    </message>
    <message>
        <source>%d 号线已被 %s 占用, 请关闭占用它的接口(如 SPI)</source>
        <translation>line %d is held by %s: turn off the interface that holds it (such as SPI)</translation>
    </message>
    <message>
        <source>另一个程序</source>
        <translation>another program</translation>
    </message>
    <message>
        <source>此程序编译时没有 libgpiod, 不支持 GPIO</source>
        <translation>this program was built without libgpiod and has no GPIO support</translation>
    </message>
    <message>
        <source>请检查 Quenby.ini 的 [GPIO] 节: MOSI, MISO, SCK, RST 须为四条不同的线</source>
        <translation>check the [GPIO] section of Quenby.ini: MOSI, MISO, SCK and RST must be four different lines</translation>
    </message>
</context>
<context>
    <name>FtdiCable</name>
    <message>
        <source>请插上 FTDI 线缆, 或检查 --port 或 Quenby.ini 的 [FTDI] 节</source>
        <translation>plug in the FTDI cable, or check --port or the [FTDI] section of Quenby.ini</translation>
    </message>
    <message>
        <source>请安装 60-tamberlink.rules 规则后重新插拔线缆</source>
        <translation>install the 60-tamberlink.rules rules, then unplug and plug in the cable</translation>
    </message>
    <message>
        <source>另一个程序正在使用该线缆</source>
        <translation>another program is using the cable</translation>
    </message>
    <message>
        <source>此程序编译时没有 libftdi1, 不支持 FTDI 线缆</source>
        <translation>this program was built without libftdi1 and has no FTDI support</translation>
    </message>
    <message>
        <source>线缆应写作 ftdi 或 ftdi:VID:PID[:SERIAL], 请检查 --port 或 Quenby.ini 的 [FTDI] 节</source>
        <translation>write the cable as ftdi or ftdi:VID:PID[:SERIAL]: check --port or the [FTDI] section of Quenby.ini</translation>
    </message>
    <message>
        <source>请检查 Quenby.ini 的 [FTDI] 节: MOSI, MISO, SCK, RST 须为 D0..D7 中四条不同的线</source>
        <translation>check the [FTDI] section of Quenby.ini: MOSI, MISO, SCK and RST must be four different lines of D0..D7</translation>
    </message>
</context>
<context>
    <name>IntelHex</name>
    <message>
        <source>*.Hex文件转换失败(未找到&quot;:00000001&quot;记录)!</source>
        <translation>*.Hex file conversion failed (no &quot;:00000001&quot; record found)!</translation>
    </message>
    <message>
        <source>*.Hex文件转换失败(错误的字符)!</source>
        <translation>*.Hex file conversion failed (wrong character)!</translation>
    </message>
    <message>
        <source>*.Hex文件转换失败(错误的记录)!</source>
        <translation>*.Hex file conversion failed (wrong record)!</translation>
    </message>
    <message>
        <source>*.Hex文件转换失败(不支持大于64k)!</source>
        <translation>*.Hex file conversion failed (more than 64k is not supported)!</translation>
    </message>
</context>
<context>
    <name>SRecord</name>
    <message>
        <source>*.%s文件转换失败(第%d行错误的字符)!</source>
        <translation>*.%s file conversion failed (line %d: wrong character)!</translation>
    </message>
    <message>
        <source>*.%s文件转换失败(第%d行错误的记录)!</source>
        <translation>*.%s file conversion failed (line %d: wrong record)!</translation>
    </message>
    <message>
        <source>*.%s文件转换失败(第%d行校验和错误)!</source>
        <translation>*.%s file conversion failed (line %d: wrong checksum)!</translation>
    </message>
    <message>
        <source>*.%s文件转换失败(第%d行记录数错误)!</source>
        <translation>*.%s file conversion failed (line %d: wrong record count)!</translation>
    </message>
    <message>
        <source>*.%s文件转换失败(第%d行不支持大于128k)!</source>
        <translation>*.%s file conversion failed (line %d: more than 128k is not supported)!</translation>
    </message>
    <message>
        <source>*.%s文件转换失败(未找到S记录)!</source>
        <translation>*.%s file conversion failed (no S record found)!</translation>
    </message>
</context>
<context>
    <name>ParallelPort</name>
    <message>
        <source>初始化驱动程序失败!</source>
        <translation>Driver initialisation failed!</translation>
    </message>
    <message>
        <source>初始化并口I/O失败!</source>
        <translation>Parallel port I/O initialisation failed!</translation>
    </message>
</context>
<context>
    <name>WindowTruth</name>
    <message>
        <source>文件 %s 没有装入, 缓冲1仍是以前的内容: 不写器件.</source>
        <translation>File %s was not loaded and buffer 1 still holds what was there before: the device is not written.</translation>
    </message>
    <message>
        <source>保存文件 %s 失败: %s.</source>
        <translation>Saving file %s failed: %s.</translation>
    </message>
    <message>
        <source>自动完成: 没有标记的步骤 (右键单击按钮把它标记为&quot;(自动)&quot;).</source>
        <translation>Auto run: no step is marked (right-click a button to mark it &quot;(Auto)&quot;).</translation>
    </message>
    <message>
        <source>GPIO引脚ISP: %s 已就绪.</source>
        <translation>ISP over GPIO lines: %s is ready.</translation>
    </message>
    <message>
        <source>FTDI下载线ISP: %s 已就绪.</source>
        <translation>ISP over an FTDI cable: %s is ready.</translation>
    </message>
    <message>
        <source>映像长%d字节, 器件 %s 只装得下前%d字节.</source>
        <translation>The image is %d bytes long; the %s takes only the first %d bytes.</translation>
    </message>
    <message>
        <source>没有应答</source>
        <translation>no answer</translation>
    </message>
    <message>
        <source>请检查编程器是否接好、通电并接在这个串口上</source>
        <translation>check that the programmer is connected, powered and on this port</translation>
    </message>
</context>
<context>
    <name>GpioAccess</name>
    <message>
        <source>请安装 60-tamberlink.rules 规则后重新登录</source>
        <translation>install the 60-tamberlink.rules rules and log in again</translation>
    </message>
</context>
<context>
    <name>CatalogueReload</name>
    <message>
        <source>器件库已更新: %s (%d个器件).</source>
        <translation>Device catalogue updated: %s (%d devices).</translation>
    </message>
    <message>
        <source>原来选中的器件 %s 已不在器件库中.</source>
        <translation>The device chosen before, %s, is no longer in the catalogue.</translation>
    </message>
</context>
<context>
    <name>SerialLine</name>
    <message>
        <source>不是串口设备</source>
        <translation>not a serial device</translation>
    </message>
    <message>
        <source>发出的数据被原样送回</source>
        <translation>what is sent comes straight back</translation>
    </message>
    <message>
        <source>请检查 TX 是否接到了 RX, 或调制解调器是否开着回显</source>
        <translation>check whether TX is tied to RX, or a modem has echo on</translation>
    </message>
</context>
<context>
    <name>IspTiming</name>
    <message>
        <source>%s: Baud=%d 对 %s MHz 晶振太快, 最大为 %d</source>
        <translation>%s: Baud=%d is too fast for a %s MHz crystal; at most %d</translation>
    </message>
    <message>
        <source>芯片没有应答编程使能指令, 请检查连线、晶振和电源.</source>
        <translation>The chip does not answer the programming-enable instruction: check the wiring, the crystal and the supply.</translation>
    </message>
    <message>
        <source>锁定位写入后读回不符, 芯片没有被锁定.</source>
        <translation>The lock bits do not read back as written: the chip is not locked.</translation>
    </message>
    <message>
        <source>写入后读回不符: 地址 0x%04X 应为 %02X, 读出 %02X.</source>
        <translation>Read back after writing, address 0x%04X should hold %02X but holds %02X.</translation>
    </message>
</context>
<context>
    <name>ImageFileChecks</name>
    <message>
        <source>*.Hex文件转换失败(第%d行校验和错误)!</source>
        <translation>*.Hex file conversion failed (line %d: wrong checksum)!</translation>
    </message>
</context>
<context>
    <name>ChecksumAndBlankCheck</name>
    <message>
        <source>校验和 %04X (缓冲1, 器件 %s)</source>
        <translation>Checksum %04X (buffer 1, device %s)</translation>
    </message>
    <message>
        <source>校验和 %04X (缓冲2, 器件 %s)</source>
        <translation>Checksum %04X (buffer 2, device %s)</translation>
    </message>
    <message>
        <source>器件是空的.</source>
        <translation>The device is blank.</translation>
    </message>
    <message>
        <source>器件不是空的, 第一个非空字节在 0x%04X.</source>
        <translation>The device is not blank, the first byte that is not blank is at 0x%04X.</translation>
    </message>
</context>
<context>
    <name>SpiWiring</name>
    <message>
        <source>SPI接口ISP: %s 已就绪.</source>
        <translation>ISP over Linux SPI: %s is ready.</translation>
    </message>
    <message>
        <source>请检查 Quenby.ini 的 [SPI] 节</source>
        <translation>check the [SPI] section of Quenby.ini</translation>
    </message>
    <message>
        <source>请把用户加入 spi 组后重新登录, 或安装 60-tamberlink.rules 规则</source>
        <translation>add the user to the group spi and log in again, or install the 60-tamberlink.rules rule</translation>
    </message>
    <message>
        <source>请打开 SPI 接口(config.txt 中 dtparam=spi=on)后重启, 或检查 --port 或 Quenby.ini 的 [SPI] 节</source>
        <translation>turn SPI on (dtparam=spi=on in config.txt) and reboot, or check --port or the [SPI] section of Quenby.ini</translation>
    </message>
    <message>
        <source>这不是 spidev 设备, 请检查 --port 或 Quenby.ini 的 [SPI] 节</source>
        <translation>this is not a spidev device: check --port or the [SPI] section of Quenby.ini</translation>
    </message>
    <message>
        <source>SPI 控制器不接受该设置</source>
        <translation>the SPI controller does not take this setting</translation>
    </message>
</context>
</TS>
