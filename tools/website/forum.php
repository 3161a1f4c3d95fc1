<!DOCTYPE html>
<html lang="zh-CN">
<head><meta charset="utf-8"><title>Lumivox 论坛</title></head>
<body>
<h1>Lumivox 论坛</h1>
<p>This page stands in for every forum page of the maker's site; the address bar
shows which one the program asked for (招聘主播 fid=44, 赞助软件 tid=1,
场景音乐 fid=54, 热键教程 tid=3).</p>
<p><a href="/">返回首页</a></p>
</body>
</html>
