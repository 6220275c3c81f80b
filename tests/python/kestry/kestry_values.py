"""Values the kestry tests share."""

DEC_16_2023 = 1702743657  # 2023-12-16T16:20:57Z, the time of the Version 4 vectors
OSS_DATE = "20231216T162057Z"
HOST = "bucket.oss-cn-hangzhou.aliyuncs.com"
EP = "https://" + HOST
