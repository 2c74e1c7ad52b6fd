"""What the Python tests share."""


def write_clip(cv2, path, frames):
    """Grey frames written as a colour MJPG clip, as a camera's would be read back."""
    video = cv2.VideoWriter(str(path), cv2.VideoWriter_fourcc(*"MJPG"), 25, frames.shape[:0:-1])
    for frame in frames:
        video.write(cv2.cvtColor(frame, cv2.COLOR_GRAY2BGR))
    video.release()
