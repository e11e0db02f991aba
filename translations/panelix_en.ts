<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>panelix::CommandConsole</name>
    <message>
        <source>显示汉字(XY汉):</source>
        <translation>Show characters (XY text):</translation>
    </message>
    <message>
        <source>显示大汉字(XY汉):</source>
        <translation>Show large characters (XY text):</translation>
    </message>
    <message>
        <source>显示图像(XYN):</source>
        <translation>Show image (XYN):</translation>
    </message>
    <message>
        <source>清除全屏:</source>
        <translation>Clear screen:</translation>
    </message>
    <message>
        <source>清除距形(XYWH):</source>
        <translation>Clear rectangle (XYWH):</translation>
    </message>
    <message>
        <source>反色距形(XYWH):</source>
        <translation>Invert rectangle (XYWH):</translation>
    </message>
    <message>
        <source>显示距形(XYWHB):</source>
        <translation>Draw rectangle (XYWHB):</translation>
    </message>
    <message>
        <source>背光打开:</source>
        <translation>Backlight on:</translation>
    </message>
    <message>
        <source>背光关闭:</source>
        <translation>Backlight off:</translation>
    </message>
    <message>
        <source>请输入命令--</source>
        <translation>Enter a command--</translation>
    </message>
</context>
<context>
    <name>panelix::ComposerCanvas</name>
    <message>
        <source>移动</source>
        <translation>Move</translation>
    </message>
    <message>
        <source>直线</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>矩形</source>
        <translation>Rectangle</translation>
    </message>
    <message>
        <source>反色区域</source>
        <translation>Invert</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>panelix::ComposerWindow</name>
    <message>
        <source>图片 (%1)</source>
        <translation>Pictures (%1)</translation>
    </message>
    <message>
        <source>图文编辑</source>
        <translation>Screen editor</translation>
    </message>
    <message>
        <source>新建</source>
        <translation>New</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>导入图片</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>文字</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>选择</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>直线</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>矩形</source>
        <translation>Rectangle</translation>
    </message>
    <message>
        <source>反色区域</source>
        <translation>Invert</translation>
    </message>
    <message>
        <source>属性</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>置顶</source>
        <translation>Raise</translation>
    </message>
    <message>
        <source>置底</source>
        <translation>Lower</translation>
    </message>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>重做</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>倍</source>
        <translation>x</translation>
    </message>
    <message>
        <source>直线的线宽,矩形的边框(0为填充)</source>
        <translation>Line width, rectangle border (0 fills)</translation>
    </message>
    <message>
        <source>网格</source>
        <translation>Grid</translation>
    </message>
    <message>
        <source>对齐字节列</source>
        <translation>Snap to bytes</translation>
    </message>
    <message>
        <source>画布:</source>
        <translation>Canvas:</translation>
    </message>
    <message>
        <source>缩放:</source>
        <translation>Zoom:</translation>
    </message>
    <message>
        <source>线宽:</source>
        <translation>Pen:</translation>
    </message>
    <message>
        <source>保存位图</source>
        <translation>Save BMP</translation>
    </message>
    <message>
        <source>发送到模块</source>
        <translation>Send to module</translation>
    </message>
    <message>
        <source>名称:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>画布尺寸</source>
        <translation>Resize</translation>
    </message>
    <message>
        <source>X:%1 Y:%2 字节列:%3</source>
        <translation>X:%1 Y:%2 Column:%3</translation>
    </message>
    <message>
        <source>打开图文项目</source>
        <translation>Open project</translation>
    </message>
    <message>
        <source>图文项目 (*.json)</source>
        <translation>Projects (*.json)</translation>
    </message>
    <message>
        <source>项目文件无法打开:</source>
        <translation>Cannot open project file: </translation>
    </message>
    <message>
        <source>项目文件格式错误:</source>
        <translation>Bad project file: </translation>
    </message>
    <message>
        <source>数据目录无法使用!</source>
        <translation>Data directory unusable!</translation>
    </message>
    <message>
        <source>文件名无效!</source>
        <translation>Invalid file name!</translation>
    </message>
    <message>
        <source>项目文件写入失败:</source>
        <translation>Cannot write project file: </translation>
    </message>
    <message>
        <source>位图已保存:</source>
        <translation>Bitmap saved: </translation>
    </message>
    <message>
        <source>找不到字库文件hzk16!</source>
        <translation>Font file hzk16 not found!</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
</context>
<context>
    <name>panelix::ExportDialog</name>
    <message>
        <source>逐行(横向字节)</source>
        <translation>Rows (horizontal bytes)</translation>
    </message>
    <message>
        <source>列行(横向字节,按列)</source>
        <translation>Rows by column (horizontal bytes)</translation>
    </message>
    <message>
        <source>逐列(纵向字节)</source>
        <translation>Columns (vertical bytes)</translation>
    </message>
    <message>
        <source>页(纵向字节,OLED)</source>
        <translation>Pages (vertical bytes, OLED)</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>高位在前</source>
        <translation>MSB first</translation>
    </message>
    <message>
        <source>低位在前</source>
        <translation>LSB first</translation>
    </message>
    <message>
        <source>暗点为0</source>
        <translation>Dark dots as 0</translation>
    </message>
    <message>
        <source>8位</source>
        <translation>8 bits</translation>
    </message>
    <message>
        <source>16位</source>
        <translation>16 bits</translation>
    </message>
    <message>
        <source>高字节在前</source>
        <translation>High byte first</translation>
    </message>
    <message>
        <source>低字节在前</source>
        <translation>Low byte first</translation>
    </message>
    <message>
        <source>行末不补齐</source>
        <translation>No padding at line ends</translation>
    </message>
    <message>
        <source>C源文件</source>
        <translation>C source</translation>
    </message>
    <message>
        <source>C头文件</source>
        <translation>C header</translation>
    </message>
    <message>
        <source>十六进制</source>
        <translation>Hex dump</translation>
    </message>
    <message>
        <source>取模方式:</source>
        <translation>Scan:</translation>
    </message>
    <message>
        <source>位序:</source>
        <translation>Bit order:</translation>
    </message>
    <message>
        <source>字长:</source>
        <translation>Word:</translation>
    </message>
    <message>
        <source>字节序:</source>
        <translation>Byte order:</translation>
    </message>
    <message>
        <source>格式:</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>数组名:</source>
        <translation>Array name:</translation>
    </message>
    <message>
        <source>由导出数据还原:</source>
        <translation>Read back from the exported bytes:</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>保存...</source>
        <translation>Save...</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>已复制到剪贴板</source>
        <translation>Copied to the clipboard</translation>
    </message>
    <message>
        <source>%1×%2点,%3字节</source>
        <translation>%1 x %2 dots, %3 bytes</translation>
    </message>
    <message>
        <source>导出文件 (*.%1);;二进制文件 (*.bin)</source>
        <translation>Export files (*.%1);;Binary files (*.bin)</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>文件写入失败:%1</source>
        <translation>Cannot write file: %1</translation>
    </message>
    <message>
        <source>已保存:%1</source>
        <translation>Saved: %1</translation>
    </message>
</context>
<context>
    <name>panelix::HelpWindow</name>
    <message>
        <source>使用帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>目录</source>
        <translation>Contents</translation>
    </message>
    <message>
        <source>后退</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>前进</source>
        <translation>Forward</translation>
    </message>
    <message>
        <source>界面语言:</source>
        <translation>Window language:</translation>
    </message>
    <message>
        <source>重新启动后生效</source>
        <translation>Takes effect at the next start</translation>
    </message>
</context>
<context>
    <name>panelix::ImportDialog</name>
    <message>
        <source>适应</source>
        <translation>Fit</translation>
    </message>
    <message>
        <source>填充</source>
        <translation>Fill</translation>
    </message>
    <message>
        <source>拉伸</source>
        <translation>Stretch</translation>
    </message>
    <message>
        <source>原始大小</source>
        <translation>Original size</translation>
    </message>
    <message>
        <source>阈值</source>
        <translation>Threshold</translation>
    </message>
    <message>
        <source>误差扩散(Floyd-Steinberg)</source>
        <translation>Diffusion (Floyd-Steinberg)</translation>
    </message>
    <message>
        <source>误差扩散(Atkinson)</source>
        <translation>Diffusion (Atkinson)</translation>
    </message>
    <message>
        <source>有序抖动4×4</source>
        <translation>Ordered 4×4</translation>
    </message>
    <message>
        <source>有序抖动8×8</source>
        <translation>Ordered 8×8</translation>
    </message>
    <message>
        <source>导入图片</source>
        <translation>Import picture</translation>
    </message>
    <message>
        <source>原图:</source>
        <translation>Original:</translation>
    </message>
    <message>
        <source>1倍:</source>
        <translation>1x:</translation>
    </message>
    <message>
        <source>2倍:</source>
        <translation>2x:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>跳过</source>
        <translation>Skip</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>目标尺寸:</source>
        <translation>Target size:</translation>
    </message>
    <message>
        <source>亮度:</source>
        <translation>Brightness:</translation>
    </message>
    <message>
        <source>对比度:</source>
        <translation>Contrast:</translation>
    </message>
    <message>
        <source>伽马:</source>
        <translation>Gamma:</translation>
    </message>
    <message>
        <source>抖动:</source>
        <translation>Dithering:</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>阈值:</source>
        <translation>Threshold:</translation>
    </message>
    <message>
        <source>反色</source>
        <translation>Invert</translation>
    </message>
    <message>
        <source>第%1/%2张 %3 %4×%5 → %6×%7</source>
        <translation>Picture %1/%2 %3 %4×%5 → %6×%7</translation>
    </message>
    <message>
        <source>第%1/%2张 %3</source>
        <translation>Picture %1/%2 %3</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>动画%1帧</source>
        <translation>animation of %1 frames</translation>
    </message>
</context>
<context>
    <name>panelix::ItemDialog</name>
    <message>
        <source>模块字库(hzk16)</source>
        <translation>Module font (hzk16)</translation>
    </message>
    <message>
        <source>X(点):</source>
        <translation>X (dots):</translation>
    </message>
    <message>
        <source>Y(点):</source>
        <translation>Y (dots):</translation>
    </message>
    <message>
        <source>终点X:</source>
        <translation>End X:</translation>
    </message>
    <message>
        <source>终点Y:</source>
        <translation>End Y:</translation>
    </message>
    <message>
        <source>线宽:</source>
        <translation>Line width:</translation>
    </message>
    <message>
        <source>浅色</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>宽(点):</source>
        <translation>Width (dots):</translation>
    </message>
    <message>
        <source>高(点):</source>
        <translation>Height (dots):</translation>
    </message>
    <message>
        <source>边框(0=填充):</source>
        <translation>Border (0=fill):</translation>
    </message>
    <message>
        <source>文字:</source>
        <translation>Text:</translation>
    </message>
    <message>
        <source>字体:</source>
        <translation>Font:</translation>
    </message>
    <message>
        <source>字号(点):</source>
        <translation>Size (dots):</translation>
    </message>
    <message>
        <source>粗体</source>
        <translation>Bold</translation>
    </message>
    <message>
        <source>不透明</source>
        <translation>Opaque</translation>
    </message>
    <message>
        <source>反色</source>
        <translation>Inverted</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>添加文字</source>
        <translation>Add text</translation>
    </message>
    <message>
        <source>文字属性</source>
        <translation>Text properties</translation>
    </message>
    <message>
        <source>添加直线</source>
        <translation>Add line</translation>
    </message>
    <message>
        <source>直线属性</source>
        <translation>Line properties</translation>
    </message>
    <message>
        <source>添加矩形</source>
        <translation>Add rectangle</translation>
    </message>
    <message>
        <source>矩形属性</source>
        <translation>Rectangle properties</translation>
    </message>
    <message>
        <source>添加反色区域</source>
        <translation>Add inverted area</translation>
    </message>
    <message>
        <source>反色区域属性</source>
        <translation>Inverted area properties</translation>
    </message>
    <message>
        <source>添加图片</source>
        <translation>Add picture</translation>
    </message>
    <message>
        <source>图片属性</source>
        <translation>Picture properties</translation>
    </message>
</context>
<context>
    <name>panelix::MainWindow</name>
    <message>
        <source>模拟模块, 进程内线路 (无串口, 按波特率计时)</source>
        <translation>Simulated module, in-process line (no serial port, paced at the baud rate)</translation>
    </message>
    <message>
        <source>模拟仿真</source>
        <translation>Console</translation>
    </message>
    <message>
        <source>显示反色</source>
        <translation>Inverse</translation>
    </message>
    <message>
        <source>发送命令</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>16进制显示:</source>
        <translation>Hex:</translation>
    </message>
    <message>
        <source>请输入命令</source>
        <translation>Enter a command</translation>
    </message>
    <message>
        <source>背光关闭</source>
        <translation>Light off</translation>
    </message>
    <message>
        <source>背光打开</source>
        <translation>Light on</translation>
    </message>
    <message>
        <source>清除显示</source>
        <translation>Clear LCD</translation>
    </message>
    <message>
        <source>下载字库</source>
        <translation>Send font</translation>
    </message>
    <message>
        <source>下载位图</source>
        <translation>Send BMPs</translation>
    </message>
    <message>
        <source>连线测试</source>
        <translation>Test link</translation>
    </message>
    <message>
        <source>图文编辑</source>
        <translation>Editor</translation>
    </message>
    <message>
        <source>使用帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>恢复</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>重排</source>
        <translation>New</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Del</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>串口选择</source>
        <translation>Serial port</translation>
    </message>
    <message>
        <source>下载位图排序</source>
        <translation>Download order</translation>
    </message>
    <message>
        <source>序号n</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>数据目录无法使用!</source>
        <translation>Data directory unusable!</translation>
    </message>
    <message>
        <source>路径含有无法保存的字符!</source>
        <translation>Path cannot be stored in the list!</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>停止播放</source>
        <translation>Stop playing</translation>
    </message>
    <message>
        <source>正在播放...</source>
        <translation>Playing...</translation>
    </message>
    <message>
        <source>播放结束</source>
        <translation>Playing finished</translation>
    </message>
</context>
<context>
    <name>panelix::StartupOptions</name>
    <message>
        <source>用法: panelix [--data-dir 目录] [--port1 设备] [--port2 设备] [--simulator]
              [--lang en|zh] [--reset-settings]

  --data-dir 目录  数据目录, 存放 file.txt, file.add 和 hzk16 (默认 ~/dispkit)
  --port1 设备     COM1 对应的串口设备 (默认 /dev/ttyS0)
  --port2 设备     COM2 对应的串口设备 (默认 /dev/ttyS1)
  --simulator      COM1 连接内置的模拟显示模块
  --lang en|zh     本次使用的界面语言 (默认中文, 或保存的设置)
  --reset-settings 清除记住的数据目录、串口设备和窗口位置
  --help           显示本说明
</source>
        <translation>Usage: panelix [--data-dir DIR] [--port1 DEV] [--port2 DEV] [--simulator]
               [--lang en|zh] [--reset-settings]

  --data-dir DIR   data directory with file.txt, file.add and hzk16 (default ~/dispkit)
  --port1 DEV      serial device behind COM1 (default /dev/ttyS0)
  --port2 DEV      serial device behind COM2 (default /dev/ttyS1)
  --simulator      attach COM1 to the built-in simulated display module
  --lang en|zh     window language for this run (default Chinese, or the setting)
  --reset-settings forget the remembered data directory, devices and window place
  --help           show this text
</translation>
    </message>
</context>
<context>
    <name>panelix::StatusTexts</name>
    <message>
        <source>正在下载...  %1   %2%</source>
        <translation>Downloading...  %1   %2%</translation>
    </message>
    <message>
        <source>剩余%1:%2</source>
        <translation>%1:%2 left</translation>
    </message>
    <message>
        <source>设备不存在</source>
        <translation>no such device</translation>
    </message>
    <message>
        <source>无访问权限</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>已被占用</source>
        <translation>port in use</translation>
    </message>
    <message>
        <source>不是串口</source>
        <translation>not a serial port</translation>
    </message>
    <message>
        <source>串口COM%1打开失败:%2!</source>
        <translation>Cannot open COM%1: %2!</translation>
    </message>
    <message>
        <source>无权访问%1: 它属于组%2。执行 sudo usermod -aG %2 $USER, 然后重新登录。</source>
        <translation>No access to %1: it belongs to group %2. Run sudo usermod -aG %2 $USER, then log in again.</translation>
    </message>
    <message>
        <source>%1可能已被另一个程序打开: 请关闭该程序后重试。若没有程序在使用它, 请在设备管理器中检查适配器的驱动程序。</source>
        <translation>%1 may be open in another program: close that program and try again. If no program is using it, check the adapter&apos;s driver in Device Manager.</translation>
    </message>
    <message>
        <source>正在下载...</source>
        <translation>Downloading...</translation>
    </message>
    <message>
        <source>下载完成！</source>
        <translation>Download complete!</translation>
    </message>
    <message>
        <source>通信出错！</source>
        <translation>Communication error!</translation>
    </message>
    <message>
        <source>连线测试工作正常</source>
        <translation>Connection test OK</translation>
    </message>
    <message>
        <source>连线测试出错,请检查串口线!</source>
        <translation>Connection test failed, check the serial cable!</translation>
    </message>
    <message>
        <source>串口未打开!</source>
        <translation>Serial port not open!</translation>
    </message>
    <message>
        <source>串口已断开!</source>
        <translation>Serial port disconnected!</translation>
    </message>
    <message>
        <source>串口已切换,下载中止!</source>
        <translation>Serial port switched, download stopped!</translation>
    </message>
    <message>
        <source>模块无应答,请检查连接!</source>
        <translation>No answer from the module, check the connection!</translation>
    </message>
    <message>
        <source>串口COM%1打开失败!</source>
        <translation>Cannot open COM%1!</translation>
    </message>
    <message>
        <source>串口已重新连接</source>
        <translation>Serial port reconnected</translation>
    </message>
    <message>
        <source>下载映像无效,无法下载!</source>
        <translation>Invalid download image, cannot download!</translation>
    </message>
    <message>
        <source>位图列表已满,最多251个!</source>
        <translation>Bitmap list full, 251 at most!</translation>
    </message>
    <message>
        <source>路径含有无法保存的字符!</source>
        <translation>Path cannot be stored in the list!</translation>
    </message>
    <message>
        <source>位图文件写入失败:</source>
        <translation>Cannot write bitmap file: </translation>
    </message>
    <message>
        <source>位图文件无法打开:</source>
        <translation>Cannot open bitmap file: </translation>
    </message>
    <message>
        <source>不是单色BMP位图:</source>
        <translation>Not a monochrome BMP: </translation>
    </message>
    <message>
        <source>位图尺寸超出范围:</source>
        <translation>Bitmap size out of range: </translation>
    </message>
    <message>
        <source>位图宽度:%1      位图高度:%2</source>
        <translation>Width: %1      Height: %2</translation>
    </message>
    <message>
        <source>第%1项</source>
        <translation>entry %1</translation>
    </message>
    <message>
        <source>位图数量超过127个,无法下载!</source>
        <translation>More than 127 bitmaps, cannot download!</translation>
    </message>
    <message>
        <source>位图总量超过256KB,无法下载!</source>
        <translation>Bitmaps over 256KB in all, cannot download!</translation>
    </message>
    <message>
        <source>file.add写入失败!</source>
        <translation>Cannot write file.add!</translation>
    </message>
    <message>
        <source>找不到字库文件hzk16!</source>
        <translation>Font file hzk16 not found!</translation>
    </message>
    <message>
        <source>位图列表保存失败!</source>
        <translation>Cannot save the bitmap list!</translation>
    </message>
    <message>
        <source>位图列表读取失败!</source>
        <translation>Cannot read the bitmap list!</translation>
    </message>
    <message>
        <source>数据目录无法使用!</source>
        <translation>Data directory unusable!</translation>
    </message>
    <message>
        <source>图片无法读取:</source>
        <translation>Cannot read picture: </translation>
    </message>
    <message>
        <source>图片尺寸过大:</source>
        <translation>Picture too large: </translation>
    </message>
    <message>
        <source>动画帧数超过127个,无法导入:</source>
        <translation>Animation has more than 127 frames, cannot import: </translation>
    </message>
    <message>
        <source>动画共%1帧,只导入了前%2帧(模块最多存%3幅图)</source>
        <translation>The animation has %1 frames; only the first %2 were imported (the module stores at most %3 pictures)</translation>
    </message>
    <message>
        <source>不是图片文件:</source>
        <translation>Not a picture file: </translation>
    </message>
    <message>
        <source>正在等待模块就绪...</source>
        <translation>Waiting for the module...</translation>
    </message>
    <message>
        <source>正在下载,请等待完成!</source>
        <translation>Downloading, wait until it is done!</translation>
    </message>
    <message>
        <source>未发现串口设备。没有模块时可用 panelix --simulator 试用模拟模块。</source>
        <translation>No serial adapter found. Without a module, try the simulated one: panelix --simulator.</translation>
    </message>
</context>
</TS>
