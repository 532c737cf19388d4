<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>版本&#x3000;Ver3.0</source>
        <translation>Version Ver3.0</translation>
    </message>
</context>
<context>
    <name>CCatalogueEditor</name>
    <message>
        <source>器件库 (*.chip);;所有文件 (*)</source>
        <translation>Device catalogues (*.chip);;All files (*)</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>打开(&amp;O)...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>保存(&amp;S)</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>另存为(&amp;A)...</source>
        <translation>Save &amp;As...</translation>
    </message>
    <message>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>器件(&amp;D)</source>
        <translation>&amp;Device</translation>
    </message>
    <message>
        <source>添加(&amp;N)...</source>
        <translation>&amp;New...</translation>
    </message>
    <message>
        <source>编辑(&amp;E)...</source>
        <translation>&amp;Edit...</translation>
    </message>
    <message>
        <source>上移(&amp;U)</source>
        <translation>Move &amp;Up</translation>
    </message>
    <message>
        <source>下移(&amp;W)</source>
        <translation>Move Do&amp;wn</translation>
    </message>
    <message>
        <source>删除(&amp;R)</source>
        <translation>&amp;Remove</translation>
    </message>
    <message>
        <source>器件</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>新器件库, 保存时写入 %1</source>
        <translation>New catalogue, saved to %1</translation>
    </message>
    <message>
        <source>无法读取器件库文件:
%1</source>
        <translation>Cannot read the device catalogue:
%1</translation>
    </message>
    <message>
        <source>已读入 %1 个器件.</source>
        <translation>%1 devices read.</translation>
    </message>
    <message>
        <source>打开器件库</source>
        <translation>Open Device Catalogue</translation>
    </message>
    <message>
        <source>已保存.</source>
        <translation>Saved.</translation>
    </message>
    <message>
        <source>无法写入 %1
请另存到其他位置.</source>
        <translation>Cannot write %1
Please save it somewhere else.</translation>
    </message>
    <message>
        <source>器件库另存为</source>
        <translation>Save Device Catalogue As</translation>
    </message>
    <message>
        <source>无法写入 %1</source>
        <translation>Cannot write %1</translation>
    </message>
    <message>
        <source>添加器件</source>
        <translation>Add Device</translation>
    </message>
    <message>
        <source>删除器件 %1 ?</source>
        <translation>Remove device %1?</translation>
    </message>
    <message>
        <source>未命名</source>
        <translation>Untitled</translation>
    </message>
    <message>
        <source>Sordane 器件库编辑 - %1[*]</source>
        <translation>Sordane device catalogue editor - %1[*]</translation>
    </message>
    <message>
        <source>器件库已修改, 是否保存?</source>
        <translation>The catalogue has been changed. Save it?</translation>
    </message>
</context>
<context>
    <name>CCatalogueModel</name>
    <message>
        <source>没有这一行.</source>
        <translation>No such row.</translation>
    </message>
</context>
<context>
    <name>CHotkeyDlg</name>
    <message>
        <source>请输入热键</source>
        <translation>Enter the hotkey</translation>
    </message>
    <message>
        <source>请输入键值!</source>
        <translation>Please enter a key!</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>CLastFileDialog</name>
    <message>
        <source>最近打开的文件(双击打开):</source>
        <translation>Recent files (double-click to open):</translation>
    </message>
    <message>
        <source>所有支持的文件(%1)</source>
        <translation>All supported files (%1)</translation>
    </message>
    <message>
        <source>二进制文件</source>
        <translation>Binary files</translation>
    </message>
    <message>
        <source>Intel Hex文件</source>
        <translation>Intel Hex files</translation>
    </message>
    <message>
        <source>Motorola S记录文件</source>
        <translation>Motorola S-record files</translation>
    </message>
</context>
<context>
    <name>CProgrammerDlg</name>
    <message>
        <source>缓冲1</source>
        <translation>Buffer 1</translation>
    </message>
    <message>
        <source>缓冲2</source>
        <translation>Buffer 2</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Sordane 器件库</source>
        <translation>Sordane devices</translation>
    </message>
    <message>
        <source>器件库编辑</source>
        <translation>Edit the device catalogue</translation>
    </message>
    <message>
        <source>操作选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>加密选项</source>
        <translation>Locking</translation>
    </message>
    <message>
        <source>二进制文件(*.bin)</source>
        <translation>Binary files (*.bin)</translation>
    </message>
    <message>
        <source>编程器正在操作器件, 现在退出可能使器件数据不完整.
确实要退出吗?</source>
        <translation>The programmer is working on the device; quitting now may leave its data incomplete.
Quit anyway?</translation>
    </message>
    <message>
        <source>Intel Hex文件(*.hex)</source>
        <translation>Intel Hex files (*.hex)</translation>
    </message>
</context>
<context>
    <name>CQtMessageSink</name>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
</context>
<context>
    <name>CRecordDlg</name>
    <message>
        <source>器件参数</source>
        <translation>Device Parameters</translation>
    </message>
    <message>
        <source>最长 19 字节, 汉字占两字节</source>
        <translation>At most 19 bytes; a Chinese character takes two</translation>
    </message>
    <message>
        <source>如 5.00</source>
        <translation>e.g. 5.00</translation>
    </message>
    <message>
        <source>如 1E 51 06</source>
        <translation>e.g. 1E 51 06</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>CRecordFieldCodec</name>
    <message>
        <source>名称不能为空.</source>
        <translation>The name must not be empty.</translation>
    </message>
    <message>
        <source>名称含有控制字符.</source>
        <translation>The name contains control characters.</translation>
    </message>
    <message>
        <source>名称中的字符 &quot;%1&quot; 不在GBK字符集中, 无法保存.</source>
        <translation>The character &quot;%1&quot; of the name is not in the GBK character set and cannot be stored.</translation>
    </message>
    <message>
        <source>名称含有GBK字符集中没有的字符, 无法保存.</source>
        <translation>The name contains characters the GBK character set lacks and cannot be stored.</translation>
    </message>
    <message>
        <source>名称最长 %1 字节 (GBK, 汉字占两字节), 现为 %2 字节.</source>
        <translation>A name has at most %1 bytes (GBK, a Chinese character takes two); this one has %2.</translation>
    </message>
    <message>
        <source>器件代码须为 0 到 255 的整数.</source>
        <translation>The device code must be a whole number from 0 to 255.</translation>
    </message>
    <message>
        <source>ROM 容量须为 0 到 %1 的整数 (K字节).</source>
        <translation>The ROM size must be a whole number from 0 to %1 (KB).</translation>
    </message>
    <message>
        <source>编程电压须为 0 到 %1 之间的数 (伏).</source>
        <translation>The programming voltage must be a number from 0 to %1 (volts).</translation>
    </message>
    <message>
        <source>特征字须为三个十六进制字节, 如 1E 51 06.</source>
        <translation>The signature must be three hexadecimal bytes, such as 1E 51 06.</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>器件代码</source>
        <translation>Device code</translation>
    </message>
    <message>
        <source>编程电压 (V)</source>
        <translation>Voltage (V)</translation>
    </message>
    <message>
        <source>特征字</source>
        <translation>Signature</translation>
    </message>
    <message>
        <source>未知字段.</source>
        <translation>Unknown field.</translation>
    </message>
</context>
<context>
    <name>CSettingsGrid</name>
    <message>
        <source>Tamberlink Ver3.0, 2026年12月发布</source>
        <translation>Tamberlink Ver3.0, released December 2026</translation>
    </message>
    <message>
        <source>Tamberlink 编程器 Linux 版</source>
        <translation>Tamberlink programmer for Linux</translation>
    </message>
    <message>
        <source>Ver3.0, 2026年12月发布</source>
        <translation>Ver3.0, released December 2026</translation>
    </message>
    <message>
        <source>选择COM口.(重启程序生效)</source>
        <translation>Choose the COM port. (Takes effect after a restart)</translation>
    </message>
    <message>
        <source>选择通讯波特率.(重启程序生效)</source>
        <translation>Choose the baud rate. (Takes effect after a restart)</translation>
    </message>
    <message>
        <source>[自动完成]时是否先检测器件?</source>
        <translation>Detect the device first in an [Auto run]?</translation>
    </message>
    <message>
        <source>编程成功或失败将会有不同的声音提示.</source>
        <translation>Success and failure sound different.</translation>
    </message>
    <message>
        <source>按下热键后相当于点击了[自动完成].</source>
        <translation>Pressing the hotkey is the same as clicking [Auto run].</translation>
    </message>
    <message>
        <source>编程器</source>
        <translation>Programmer</translation>
    </message>
    <message>
        <source>系统</source>
        <translation>System</translation>
    </message>
    <message>
        <source>串口</source>
        <translation>Serial port</translation>
    </message>
    <message>
        <source>通讯速率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>程序版本</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>自动检测器件</source>
        <translation>Detect device first</translation>
    </message>
    <message>
        <source>使用声音提示</source>
        <translation>Sound prompts</translation>
    </message>
    <message>
        <source>使用热键</source>
        <translation>Use hotkey</translation>
    </message>
    <message>
        <source>并口ISP下载线 类型1</source>
        <translation>Parallel-port ISP cable, type 1</translation>
    </message>
    <message>
        <source>并口ISP下载线 类型2</source>
        <translation>Parallel-port ISP cable, type 2</translation>
    </message>
    <message>
        <source>并口ISP下载线 类型3</source>
        <translation>Parallel-port ISP cable, type 3</translation>
    </message>
    <message>
        <source>GPIO引脚ISP (树莓派等)</source>
        <translation>ISP on GPIO lines (Raspberry Pi etc.)</translation>
    </message>
    <message>
        <source>FTDI下载线ISP (FT232R/FT232H)</source>
        <translation>ISP on an FTDI cable (FT232R/FT232H)</translation>
    </message>
    <message>
        <source>选择串口所接的设备,选后立即生效.</source>
        <translation>Choose the device on the serial port; takes effect at once.</translation>
    </message>
    <message>
        <source> (未找到)</source>
        <translation> (not found)</translation>
    </message>
    <message>
        <source>串口设备</source>
        <translation>Serial device</translation>
    </message>
</context>
<context>
    <name>CProgrammerDlg</name>
    <message>
        <source>右键单击: 把这一步标记为自动完成的一步, 再次右键单击取消标记.</source>
        <translation>Right-click: mark this step for the automatic run; right-click again to unmark it.</translation>
    </message>
</context>
<context>
    <name>CSettingsGrid</name>
    <message>
        <source>本次运行用命令行 --programmer 选的编程器; 保存的设置不变, 除非在这里另选.</source>
        <translation>This run uses the programmer chosen by --programmer on the command line; the stored setting stays unless you choose here.</translation>
    </message>
</context>
<context>
    <name>CCatalogueEditor</name>
    <message>
        <source>器件库 %1 正在另一个 Sordane 窗口中编辑.</source>
        <translation>The catalogue %1 is being edited in another Sordane window.</translation>
    </message>
    <message>
        <source>器件库文件 %1 在读入之后已被修改 (也许是另一个 Sordane 或其他程序保存的).
保存会覆盖那些修改. 仍要保存吗?</source>
        <translation>The catalogue file %1 has changed since it was read (perhaps saved by another Sordane or another program).
Saving overwrites those changes. Save anyway?</translation>
    </message>
    <message>
        <source>%1 已经存在. 用这里的器件库覆盖它吗?</source>
        <translation>%1 already exists. Overwrite it with this catalogue?</translation>
    </message>
    <message>
        <source>已保存到 %1.</source>
        <translation>Saved to %1.</translation>
    </message>
    <message>
        <source>不能写入安装的器件库 %1.
已把器件库保存为你自己的副本 %2;
Tamberlink 和 Sordane 从此读取这一份.</source>
        <translation>The installed catalogue %1 cannot be written.
The catalogue was saved as your own copy, %2;
Tamberlink and Sordane read that copy from now on.</translation>
    </message>
</context>
<context>
    <name>CSettingsGrid</name>
    <message>
        <source>Wayland 会话下程序不能自己注册全局热键, 桌面也没有提供全局快捷键服务 (XDG GlobalShortcuts), 所以热键不可用. 请用回车键或[自动完成]按钮.</source>
        <translation>In a Wayland session a program cannot register a global hotkey itself, and the desktop offers no global shortcuts service (XDG GlobalShortcuts), so the hotkey is not available. Use the Enter key or the [Auto run] button.</translation>
    </message>
</context>
<context>
    <name>CProgrammerDlg</name>
    <message>
        <source>桌面没有登记热键 (全局快捷键的请求被拒绝).</source>
        <translation>The desktop did not register the hotkey (the global shortcut request was refused).</translation>
    </message>
</context>
<context>
    <name>CHotkeyRegistration</name>
    <message>
        <source>Tamberlink: 自动完成</source>
        <translation>Tamberlink: automatic run</translation>
    </message>
</context>
<context>
    <name>CSettingsGrid</name>
    <message>
        <source>晶振频率</source>
        <translation>Crystal (MHz)</translation>
    </message>
    <message>
        <source>ISP下载时目标芯片的晶振频率(MHz), 串行时钟和写入等待都以此为准.(重启程序生效)</source>
        <translation>The target chip&apos;s crystal in MHz for ISP: the serial clock and the write timing follow it. (Takes effect after restarting the program.)</translation>
    </message>
</context>
<context>
    <name>CProgrammerDlg</name>
    <message>
        <source>空检查</source>
        <translation>Blank check</translation>
    </message>
</context>
<context>
    <name>CSettingsGrid</name>
    <message>
        <source>SPI接口ISP (树莓派 spidev)</source>
        <translation>ISP over Linux SPI (Raspberry Pi spidev)</translation>
    </message>
</context>
</TS>
